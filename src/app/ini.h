// Kestra.INI access with the behaviour of the Windows profile functions:
// section and key names compare case-insensitively, values come back as
// written, reads never fail, and a write touches only the one value it
// changes while every other line and comment is kept.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestra {

class IniFile {
 public:
  // Reads the file if it exists; a missing or unreadable file reads as empty.
  explicit IniFile(std::string path);

  const std::string& path() const { return path_; }

  // The value, cut to bufferSize - 1 characters, or `fallback` when the key
  // is missing.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback, size_t bufferSize) const;

  // An optional sign and the leading decimal digits of the value (0 when
  // there are none), or `fallback` when the key is missing.
  int ReadInt(const std::string& section, const std::string& key, int fallback) const;

  // Replaces the value, adding the key and the section as needed. A value
  // ends at its first line break.
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value);
  void WriteInt(const std::string& section, const std::string& key, int value);

  // Writes the file (creating it) when something changed; false when it
  // cannot be written. The values in memory stay as they are either way.
  bool Flush();

 private:
  // Index of the section's header line, or -1.
  int FindSection(const std::string& section) const;
  // Index of the key's line within the section starting at `header`, or -1.
  int FindKey(int header, const std::string& key) const;

  std::string path_;
  std::vector<std::string> lines_;  // as read, line ends removed
  bool dirty_ = false;
  bool crlf_ = false;  // the file as read ended its lines in CR LF
};

// An optional sign and leading decimal digits; anything else reads as 0.
// Saturates at the limits of int.
int ParseProfileInt(const std::string& text);

}  // namespace kestra
