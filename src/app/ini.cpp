#include "app/ini.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <fstream>
#include <span>
#include <utility>

#include "base/files.h"

namespace kestra {

namespace {

std::string Trim(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// "[name]" gives name; anything else gives false.
bool SectionName(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  const size_t close = t.find(']');
  name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

// Where a value ends: a NUL ends it, as it ends a string of the system the
// format comes from, and so does a carriage return that is not part of the
// line end, which a write could not keep.
constexpr char kValueEnds[] = {'\0', '\r', '\n'};
std::string CutValue(const std::string& text) {
  return text.substr(0, text.find_first_of(std::string(kValueEnds, sizeof kValueEnds)));
}

// "key=value" gives both, trimmed; comments and lines without '=' give false.
bool KeyLine(const std::string& line, std::string& key, std::string& value) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(line.substr(0, eq));
  if (!key.empty() && key[0] == ';') return false;
  value = Trim(CutValue(line.substr(eq + 1)));
  return true;
}

}  // namespace

int ParseProfileInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<int64_t>(INT_MAX) + 1) value = static_cast<int64_t>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  std::ifstream in(path_, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      crlf_ = true;
    }
    lines_.push_back(std::move(line));
  }
}

int IniFile::FindSection(const std::string& section) const {
  std::string name;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], name) && SameName(name, section)) return static_cast<int>(i);
  }
  return -1;
}

int IniFile::FindKey(int header, const std::string& key) const {
  std::string name, value;
  for (size_t i = header + 1; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], name)) break;
    if (KeyLine(lines_[i], name, value) && SameName(name, key)) return static_cast<int>(i);
  }
  return -1;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& fallback, size_t bufferSize) const {
  std::string value = fallback;
  const int header = FindSection(section);
  const int line = header < 0 ? -1 : FindKey(header, key);
  if (line >= 0) {
    std::string name;
    KeyLine(lines_[line], name, value);
  }
  if (bufferSize == 0) return {};
  if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
  return value;
}

int IniFile::ReadInt(const std::string& section, const std::string& key, int fallback) const {
  const int header = FindSection(section);
  const int line = header < 0 ? -1 : FindKey(header, key);
  if (line < 0) return fallback;
  std::string name, value;
  KeyLine(lines_[line], name, value);
  return ParseProfileInt(value);
}

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& text) {
  // A value is one line: the rest of a text with a line break would become
  // lines of the file (a section header, keys of another section).
  const std::string value = CutValue(text);
  dirty_ = true;
  int header = FindSection(section);
  if (header < 0) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + section + "]");
    lines_.push_back(key + "=" + value);
    return;
  }
  const int line = FindKey(header, key);
  if (line >= 0) {
    // Keep the key's spelling as the file has it.
    const std::string& old = lines_[line];
    lines_[line] = Trim(old.substr(0, old.find('='))) + "=" + value;
    return;
  }
  // A new key goes after the section's last key, before any blank lines or
  // comments that lead into the next section.
  size_t insertAt = header + 1;
  std::string name, v;
  for (size_t i = header + 1; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], name)) break;
    if (KeyLine(lines_[i], name, v)) insertAt = i + 1;
  }
  lines_.insert(lines_.begin() + insertAt, key + "=" + value);
}

void IniFile::WriteInt(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

bool IniFile::Flush() {
  if (!dirty_) return true;
  const char* end = crlf_ ? "\r\n" : "\n";
  std::string text;
  for (const std::string& line : lines_) text.append(line).append(end);
  // Through a temporary file: a full disk or a crash mid-write must not cost
  // the player's hand-made bindings.
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  if (!ReplaceFile(path_, {bytes})) return false;
  dirty_ = false;
  return true;
}

}  // namespace kestra
