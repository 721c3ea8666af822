#include "base/files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestra {

namespace {

constexpr size_t kNameMax = NAME_MAX;  // bytes of one path component
constexpr int kMaxLinkHops = 40;       // as the kernel's own limit

// The file a path names: links followed (relative ones from their own
// directory), so the file behind a link is replaced and the link is kept.
std::string ResolveLinks(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    std::error_code ec;
    if (!fs::is_symlink(current, ec)) break;
    fs::path next = fs::read_symlink(current, ec);
    if (ec) break;
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return current.string();
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool FaultRequested(const char* fault) {
  const char* value = std::getenv(kFaultVariable);
  return value && std::strcmp(value, fault) == 0;
}

// The rename reaches the disk with its directory.
void SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

OpenResult OpenRegularFile(const std::string& path, std::FILE*& file) {
  file = nullptr;
  // Non-blocking, so a FIFO does not wait for a writer before fstat.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EISDIR) return OpenResult::Directory;
    return errno == ENOENT ? OpenResult::Missing : OpenResult::Unreadable;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? OpenResult::Directory : OpenResult::NotRegular;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  file = ::fdopen(fd, "rb");
  if (!file) {
    ::close(fd);
    return OpenResult::Unreadable;
  }
  return OpenResult::Opened;
}

std::string TemporaryPathFor(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::string name = path.substr(nameStart);
  constexpr std::string_view kSuffix = ".tmp";
  if (name.size() + kSuffix.size() > kNameMax) name.resize(kNameMax - kSuffix.size());
  return path.substr(0, nameStart) + name + std::string(kSuffix);
}

bool ReplaceFile(const std::string& path, const std::vector<std::span<const uint8_t>>& chunks) {
  const std::string target = ResolveLinks(path);
  const std::string temp = TemporaryPathFor(target);

  // The new file keeps the permissions of the old one.
  mode_t mode = 0666;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) mode = old.st_mode & 07777;

  // Whatever an earlier crash left at the temporary name goes first; a link
  // there is removed, not followed, and O_EXCL makes sure of it.
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = true;
  for (const auto& chunk : chunks) {
    if (!ok) break;
    ok = WriteAll(fd, chunk.data(), chunk.size());
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && FaultRequested(kFaultKillBeforeRename)) std::raise(SIGKILL);
  ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncDirectory(DirectoryOf(target));
  return true;
}

}  // namespace kestra
