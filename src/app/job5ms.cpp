#include "app/job5ms.h"

#include "core/machine.h"

namespace kestra {

void Job5ms::run() {
  JobLoop loop(m_, status_);
  loop.Run([this] { return isInterruptionRequested(); });
  done_.store(true, std::memory_order_release);
}

void Job5ms::Join() {
  wait();
  while (!done_.load(std::memory_order_acquire)) wait();
}

}  // namespace kestra
