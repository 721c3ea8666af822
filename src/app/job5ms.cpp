#include "app/job5ms.h"

#include "emulator/emulator.h"

namespace kestra {

void Job5ms::run() {
  if (control_) e_.RunPlay(*control_, [this] { return isInterruptionRequested(); }, status_);
  else e_.RunPaced([this] { return isInterruptionRequested(); }, status_);
  done_.store(true, std::memory_order_release);
}

void Job5ms::Join() {
  wait();
  while (!done_.load(std::memory_order_acquire)) wait();
}

}  // namespace kestra
