// Runs the event loop until a condition holds: the window's tests wait on
// the emulation thread and on queued calls this way.
#pragma once

#include <QApplication>
#include <QElapsedTimer>

namespace kestra::test {

// False when the condition did not come true within the time.
template <typename Condition>
bool WaitFor(Condition done, int milliseconds = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > milliseconds) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace kestra::test
