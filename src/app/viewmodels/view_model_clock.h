// The time sources of the view models, replaceable in tests: the wall clock for the request
// merge and a one-shot timer for texts that go away after a while.
#pragma once

#include "core/platform/timestamp.h"

#include <QObject>

#include <chrono>
#include <functional>

namespace qs {

struct QSViewModelClock {
  std::function<QSTimestamp()> now;
  // Runs `work` once after `delay` on the GUI thread, unless `context` is destroyed first.
  std::function<void(std::chrono::milliseconds delay, QObject* context, std::function<void()> work)> after;

  // The wall clock and QTimer.
  static QSViewModelClock system();
};

}  // namespace qs
