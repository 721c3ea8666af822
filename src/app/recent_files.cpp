#include "app/recent_files.h"

#include <algorithm>

#include "app/ini.h"

namespace kestra {

namespace {
constexpr const char* kRecent = "RECENT";
constexpr size_t kPathBufferSize = 512;  // as DefaultDir
// No value a key can hold: a line break ends every value.
constexpr const char* kMissing = "\n";

std::string KeyName(int i) { return "File" + std::to_string(i); }
}  // namespace

void RecentFiles::Add(const std::string& path) {
  if (path.empty()) return;
  paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
  paths_.insert(paths_.begin(), path);
  if (paths_.size() > static_cast<size_t>(kLimit)) paths_.resize(kLimit);
}

void RecentFiles::Load(IniFile& ini) {
  paths_.clear();
  for (int i = 0; i < kLimit; ++i) {
    const std::string value = ini.ReadString(kRecent, KeyName(i), kMissing, kPathBufferSize);
    if (value == kMissing) {
      ini.WriteString(kRecent, KeyName(i), "");
      continue;
    }
    if (value.empty() || std::find(paths_.begin(), paths_.end(), value) != paths_.end()) continue;
    paths_.push_back(value);
  }
}

void RecentFiles::Save(IniFile& ini) const {
  for (int i = 0; i < kLimit; ++i) {
    ini.WriteString(kRecent, KeyName(i), i < static_cast<int>(paths_.size()) ? paths_[i] : "");
  }
}

}  // namespace kestra
