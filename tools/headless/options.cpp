#include "options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace kestra::headless {

namespace {

using Apply = bool (*)(HeadlessOptions&, const std::string& value, std::string& error);

struct OptionSpec {
  const char* name;
  const char* alias;      // or nullptr
  const char* valueName;  // nullptr for a switch
  const char* help;
  Apply apply;
};

// A whole decimal number in [min, max].
bool ParseNumber(const std::string& text, long min, long max, int& out) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  out = static_cast<int>(v);
  return true;
}

// The twelve console keys; the top four bits of a ButtonMask are always 0.
constexpr unsigned long kAllKeys = 0x0FFF;

// "FRAME:MASK,FRAME:MASK...", FRAME decimal, MASK hexadecimal.
bool ParseKeys(const std::string& list, std::vector<KeyChange>& keys, std::string& error) {
  keys.clear();
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string pair = list.substr(start, comma - start);
    const size_t colon = pair.find(':');
    KeyChange change;
    const std::string mask = colon == std::string::npos ? "" : pair.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(mask.c_str(), &end, 16);
    if (colon == std::string::npos ||
        !ParseNumber(pair.substr(0, colon), 0, 1L << 30, change.frame) || mask.empty() ||
        !std::isxdigit(static_cast<unsigned char>(mask[0])) || *end != '\0' || errno != 0 ||
        value > kAllKeys) {
      error = "--keys: expected FRAME:MASK pairs (MASK hexadecimal, at most FFF), got \"" +
              pair + "\"";
      return false;
    }
    change.mask = static_cast<uint16_t>(value);
    keys.push_back(change);
    start = comma + 1;
  }
  std::stable_sort(keys.begin(), keys.end(),
                   [](const KeyChange& a, const KeyChange& b) { return a.frame < b.frame; });
  return true;
}

const OptionSpec kOptions[] = {
    {"--frames", "-n", "N", "emulate N frames of 159 lines after the load (default 300)",
     [](HeadlessOptions& o, const std::string& v, std::string& e) {
       if (ParseNumber(v, 0, 1L << 30, o.frames)) return true;
       e = "--frames: expected a whole number of frames, got \"" + v + "\"";
       return false;
     }},
    {"--frameskip", nullptr, "N", "FrameSkip setting 0-4 (default 0: every frame drawn)",
     [](HeadlessOptions& o, const std::string& v, std::string& e) {
       if (ParseNumber(v, 0, 4, o.frameSkip)) return true;
       e = "--frameskip: expected 0-4, got \"" + v + "\"";
       return false;
     }},
    {"--keys", nullptr, "LIST",
     "comma-separated FRAME:MASK pairs; from frame FRAME on the keys of ButtonMask MASK "
     "(hexadecimal) are held",
     [](HeadlessOptions& o, const std::string& v, std::string& e) {
       return ParseKeys(v, o.keys, e);
     }},
    {"--screenshot", nullptr, "FILE",
     "write the last presented frame as PNG, 224x144 (144x224 for a vertical cartridge)",
     [](HeadlessOptions& o, const std::string& v, std::string&) {
       o.screenshot = v;
       return true;
     }},
    {"--dump-iram", nullptr, "FILE", "write the 65,536 bytes of internal RAM after the run",
     [](HeadlessOptions& o, const std::string& v, std::string&) {
       o.dumpIram = v;
       return true;
     }},
    {"--dump-ports", nullptr, "FILE", "write the 256 port bytes after the run",
     [](HeadlessOptions& o, const std::string& v, std::string&) {
       o.dumpPorts = v;
       return true;
     }},
    {"--wav", nullptr, "FILE",
     "write the mixed sound as 16-bit stereo WAV at 48,000 Hz, 48,000 / 75.47 sample frames "
     "per emulated frame",
     [](HeadlessOptions& o, const std::string& v, std::string&) {
       o.wav = v;
       return true;
     }},
    {"--load-state", nullptr, "FILE",
     "load a save state after the image loads, before the first frame",
     [](HeadlessOptions& o, const std::string& v, std::string&) {
       o.loadState = v;
       return true;
     }},
    {"--save-state", nullptr, "FILE", "write a save state after the last frame",
     [](HeadlessOptions& o, const std::string& v, std::string&) {
       o.saveState = v;
       return true;
     }},
    {"--save-state-at", nullptr, "FRAME:FILE",
     "write a save state after frame FRAME (any number of times)",
     [](HeadlessOptions& o, const std::string& v, std::string& e) {
       const size_t colon = v.find(':');
       StateAt at;
       if (colon == std::string::npos || colon + 1 == v.size() ||
           !ParseNumber(v.substr(0, colon), 0, 1L << 30, at.frame)) {
         e = "--save-state-at: expected FRAME:FILE, got \"" + v + "\"";
         return false;
       }
       at.file = v.substr(colon + 1);
       o.saveStateAt.push_back(at);
       std::stable_sort(o.saveStateAt.begin(), o.saveStateAt.end(),
                        [](const StateAt& a, const StateAt& b) { return a.frame < b.frame; });
       return true;
     }},
    {"--rewind-test", nullptr, "N",
     "record N frames with rewind on, step back to the first, run forward again; exit 0 "
     "only if every frame matches the first pass",
     [](HeadlessOptions& o, const std::string& v, std::string& e) {
       if (ParseNumber(v, 2, 1L << 24, o.rewindTest)) return true;
       e = "--rewind-test: expected a number of frames of at least 2, got \"" + v + "\"";
       return false;
     }},
    {"--bench", nullptr, nullptr,
     "print one line: frames=N seconds=S fps=F speed=X (X = F / 75.47, wall-clock of the "
     "emulation only)",
     [](HeadlessOptions& o, const std::string&, std::string&) {
       o.bench = true;
       return true;
     }},
    {"--verbose", nullptr, nullptr, "Verbose on: warnings that would be boxes go to stderr",
     [](HeadlessOptions& o, const std::string&, std::string&) {
       o.verbose = true;
       return true;
     }},
    {"--help", "-h", nullptr, "show this text",
     [](HeadlessOptions& o, const std::string&, std::string&) {
       o.help = true;
       return true;
     }},
};

const OptionSpec* FindOption(const std::string& name) {
  for (const auto& option : kOptions) {
    if (name == option.name || (option.alias && name == option.alias)) return &option;
  }
  return nullptr;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, HeadlessOptions& options,
                  std::string& error) {
  bool imageSeen = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() > 1 && arg[0] == '-') {
      // --name=value or --name value
      const size_t eq = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
      const std::string name = arg.substr(0, eq);
      const OptionSpec* option = FindOption(name);
      if (!option) {
        error = "unknown option " + name;
        return false;
      }
      std::string value;
      if (option->valueName) {
        if (eq != std::string::npos) {
          value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          error = name + " needs a value " + option->valueName;
          return false;
        }
      } else if (eq != std::string::npos) {
        error = name + " takes no value";
        return false;
      }
      if (!option->apply(options, value, error)) return false;
    } else if (!imageSeen) {
      options.image = arg;
      imageSeen = true;
    } else {
      error = "more than one image: " + arg;
      return false;
    }
  }
  if (!imageSeen && !options.help) {
    error = "no image given";
    return false;
  }
  return true;
}

std::string Usage() {
  std::string text = "usage: kestra-headless [options] IMAGE\n";
  for (const auto& option : kOptions) {
    std::string left = "  ";
    if (option.alias) left += std::string(option.alias) + ", ";
    left += option.name;
    if (option.valueName) left += std::string(" ") + option.valueName;
    left.resize(std::max<size_t>(left.size() + 1, 24), ' ');
    text += left + option.help + "\n";
  }
  return text;
}

}  // namespace kestra::headless
