// kestra-headless: the machine without a window, for tests, benchmarks and
// bug reports. Exit status 0 after a run, 1 when the image does not load (or
// an output cannot be written), 2 for a usage error.
#include <chrono>
#include <cstdio>

#include "options.h"
#include "runner.h"

using namespace kestra;
using namespace kestra::headless;

int main(int argc, char** argv) {
  HeadlessOptions options;
  std::string error;
  if (!ParseOptions({argv + 1, argv + argc}, options, error)) {
    std::fprintf(stderr, "kestra-headless: %s\n%s", error.c_str(), Usage().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }

  auto machine = CreateMachine();
  Machine& m = *machine;
  HeadlessHost host(options);
  SetUpHost(m, host, options);
  if (LoadCartridge(m, options.image) != 0) {
    TearDownHost(m, host);
    return 1;
  }
  StartMachine(m);

  const auto start = std::chrono::steady_clock::now();
  RunFrames(m, host, options.frames);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

  const bool written = WriteOutputs(m, host, options);
  if (options.bench) std::printf("%s\n", BenchLine(options.frames, elapsed.count()).c_str());
  UnloadCartridge(m);  // writes the save file
  TearDownHost(m, host);
  return written ? 0 : 1;
}
