// PostToWorker: runs an engine op on the connection's worker and its
// continuation on the GUI thread. The GUI thread never waits for it.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <utility>

#include "client/engine/conn_worker.h"

namespace tarn::shell {

// Queues `op` on `worker`; when it ends, `onGuiThread` (may be empty) runs
// on the GUI thread with the op's result, through a queued call, unless
// `receiver` (a GUI-thread object; may be null for "always") died in the
// meantime. Ops dropped by CancelAll still deliver kReplyAborted. Call from
// the GUI thread.
inline void PostToWorker(ConnWorker& worker, QObject* receiver, ConnWorker::Op op,
                         std::function<void(int)> onGuiThread) {
  const bool guarded = receiver != nullptr;
  QPointer<QObject> guard(receiver);
  auto cont = std::make_shared<std::function<void(int)>>(std::move(onGuiThread));
  worker.Post(std::move(op), [guarded, guard, cont](int rc) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || !*cont) return;
    // The application object lives on the GUI thread as long as any
    // window, so the call lands there; the receiver is checked there too,
    // where it can no longer die under the check.
    QMetaObject::invokeMethod(
        app,
        [guarded, guard, cont, rc] {
          if (guarded && guard.isNull()) return;
          (*cont)(rc);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace tarn::shell
