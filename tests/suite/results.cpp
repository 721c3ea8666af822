#include "results.h"

#include <cstdio>

namespace kestra::suite {

namespace {

uint16_t Word(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::string Hex(uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", v);
  return text;
}

}  // namespace

std::string FlagNames(uint16_t flags) {
  static const struct {
    uint16_t bit;
    const char* name;
  } kFlags[] = {{0x800, "OF"}, {0x400, "DF"}, {0x200, "IF"}, {0x100, "TF"}, {0x80, "SF"},
                {0x40, "ZF"},  {0x10, "AF"},  {0x04, "PF"},  {0x01, "CF"}};
  std::string out;
  auto add = [&out](const std::string& word) {
    if (!out.empty()) out += ' ';
    out += word;
  };
  for (const auto& f : kFlags) {
    if (flags & f.bit) add(f.name);
  }
  const uint16_t others = flags & ~0x0FD5;
  if (others) add("bits " + Hex(others));
  return out.empty() ? "none" : out;
}

std::string CheckResult::Describe() const {
  std::string text = "#";
  text += std::to_string(number) + " \"" + name + "\": ";
  if (status == CheckStatus::NotRun) return text + "did not run";
  switch (kind) {
    case CheckKind::Flags: {
      const uint16_t seen = observed & b;
      text += "flags " + Hex(seen) + " (" + FlagNames(seen) + "), expected " + Hex(a) + " (" +
              FlagNames(a) + ")";
      if (b != 0xFFFF) text += " under mask " + Hex(b);
      return text;
    }
    case CheckKind::Range:
      return text + Hex(observed) + " (" + std::to_string(observed) + "), expected " +
             std::to_string(a) + " to " + std::to_string(b);
    case CheckKind::Value:
      text += Hex(observed & b) + ", expected " + Hex(a);
      if (b != 0xFFFF) text += " under mask " + Hex(b) + " (whole word " + Hex(observed) + ")";
      return text;
  }
  return text + "unknown kind " + std::to_string(static_cast<int>(kind));
}

SuiteResults ReadResults(const std::vector<uint8_t>& iram, const std::vector<uint8_t>& image) {
  SuiteResults r;
  if (iram.size() != 0x10000) {
    r.error = "the internal RAM dump has " + std::to_string(iram.size()) + " bytes";
    return r;
  }
  if (image.size() < 0x10000 || image.size() % 0x10000 != 0) {
    r.error = "the image is not whole 64 KB banks";
    return r;
  }
  r.finished = std::string(iram.begin() + kMagicAddress, iram.begin() + kMagicAddress + 4) == "DONE";
  r.progress = Word(iram, kProgressAddress);
  const int count = Word(iram, kCountAddress);
  if (count == 0 || count > kMaxChecks) {
    r.error = "the cartridge declares " + std::to_string(count) + " checks";
    return r;
  }
  // The names are NUL-terminated strings in the last bank.
  size_t at = image.size() - 0x10000 + Word(iram, kNamesAddress);
  for (int n = 0; n < count; ++n) {
    CheckResult c;
    c.number = n;
    while (at < image.size() && image[at] != 0) c.name += static_cast<char>(image[at++]);
    if (at++ >= image.size()) {
      r.error = "the names of the checks run past the end of the image at check " +
                std::to_string(n);
      return r;
    }
    const size_t e = kEntriesAddress + 8 * static_cast<size_t>(n);
    c.status = static_cast<CheckStatus>(iram[e]);
    c.kind = static_cast<CheckKind>(iram[e + 1]);
    c.observed = Word(iram, e + 2);
    c.a = Word(iram, e + 4);
    c.b = Word(iram, e + 6);
    r.checks.push_back(std::move(c));
  }
  return r;
}

}  // namespace kestra::suite
