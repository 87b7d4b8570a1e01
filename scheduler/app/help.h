// Context help of the scheduler's dialogs: the pop-up topics behind "What's
// This?" and F1, and "&Help", which opens the suite's HTML manual.
#pragma once

#include <QString>

class QWidget;

namespace sched_app {

// The manual's first page, or "" when it is not installed. The one place
// that knows where the manual lives.
QString ManualPath();

// Opens the manual in the desktop's browser, or says in a message box that
// it is not installed.
void OpenManual(QWidget* parent);

// The pop-up text of a help topic (2001 .. 2011, 3003, 3004); "" for none.
QString TopicText(int topic);

// Gives `control` the topic's text and the right-click menu "What's This?",
// "&Help". F1 on a dialog shows the focused control's topic (see
// InstallF1Help).
void AttachTopic(QWidget* control, int topic);
void InstallF1Help(QWidget* dialog);

}  // namespace sched_app
