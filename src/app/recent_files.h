// The files opened last, newest first, as kept in the [RECENT] section of
// Kestra.INI (File0 ... File9).
#pragma once

#include <string>
#include <vector>

namespace kestra {

class IniFile;

class RecentFiles {
 public:
  static constexpr int kLimit = 10;

  // Moves `path` to the top; the oldest entry falls off past the limit.
  void Add(const std::string& path);
  void Clear() { paths_.clear(); }
  const std::vector<std::string>& paths() const { return paths_; }

  // Reads File0 ... File9 in order, skipping empty ones and repeats; a
  // missing key is written with an empty value, as the other sections do.
  void Load(IniFile& ini);
  // Writes all ten keys, the unused ones empty.
  void Save(IniFile& ini) const;

 private:
  std::vector<std::string> paths_;
};

}  // namespace kestra
