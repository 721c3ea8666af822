#include "base/host.h"

#include <chrono>
#include <cstdio>

namespace kestra {

void StderrMessages::ShowMessage(const std::string& caption, const std::string& text,
                                 MessageIcon) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

uint32_t SteadyTicks::Ticks() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(ms);
}

}  // namespace kestra
