// Handing work from the service loop's thread back to the GUI thread.
#pragma once

#include <QMetaObject>
#include <QPointer>

#include <utility>

namespace qs {

// Runs `work(*target)` on `target`'s thread (the GUI thread) as a queued call, unless the object
// is gone by then (or already).
template <class T, class F>
void backOnGui(QPointer<T> target, F work) {
  if (!target) return;
  QMetaObject::invokeMethod(
      target.data(), [target, work = std::move(work)]() mutable {
        if (target) work(*target);
      },
      Qt::QueuedConnection);
}

}  // namespace qs
