// The scheduler's pictures: the tray icon when ready and when paused, and
// the e-mail dialog's letter. Drawn as SVG; painted plainly where Qt has no
// SVG support installed, so the tray never shows an empty icon.
#pragma once

#include <QIcon>

namespace sched_app {

QIcon ReadyIcon();
QIcon PausedIcon();
QIcon MailIcon();

}  // namespace sched_app
