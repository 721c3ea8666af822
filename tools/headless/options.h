// The command line of kestra-headless. Each option is one row of a table
// (name, value, help, how it applies), so adding one means a field in
// HeadlessOptions and a row in options.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestra::headless {

// From frame `frame` on, the keys of `mask` (a ButtonMask) are held.
struct KeyChange {
  int frame = 0;
  uint16_t mask = 0;
};

struct StateAt {
  int frame = 0;
  std::string file;
};

struct HeadlessOptions {
  std::string image;
  int frames = 300;
  int frameSkip = 0;
  std::vector<KeyChange> keys;  // sorted by frame
  std::string dumpIram;
  std::string dumpPorts;
  std::string wav;
  std::string screenshot;
  std::string loadState;
  std::string saveState;
  std::vector<StateAt> saveStateAt;  // sorted by frame
  int rewindTest = 0;                // 0: none
  bool bench = false;
  bool verbose = false;
  bool help = false;
};

// args without the program name. False with `error` set on a usage error.
bool ParseOptions(const std::vector<std::string>& args, HeadlessOptions& options,
                  std::string& error);

// The usage text, one line per option.
std::string Usage();

}  // namespace kestra::headless
