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

  HeadlessRun run(options);
  if (run.Load() != 0) return 1;
  if (options.rewindTest > 0) {
    const bool same = run.RewindTest(options.rewindTest);
    std::printf("rewind-test: %d frames %s\n", options.rewindTest, same ? "match" : "differ");
    return same ? 0 : 1;
  }

  const auto start = std::chrono::steady_clock::now();
  run.RunFrames(options.frames);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

  const bool written = run.WriteOutputs();
  if (options.bench) std::printf("%s\n", BenchLine(options.frames, elapsed.count()).c_str());
  return written ? 0 : 1;  // the emulator writes the save file as it goes
}
