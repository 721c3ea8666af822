#include "app/job5ms.h"

#include "core/machine.h"

namespace kestra {

void Job5ms::run() {
  JobLoop loop(m_, status_);
  loop.Run([this] { return isInterruptionRequested(); });
}

}  // namespace kestra
