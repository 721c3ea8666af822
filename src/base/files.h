// The file layer under cartridges, saves and the configuration: opening a
// file that must be a regular one without hanging on anything else, and
// replacing a file so that a failed or interrupted write never costs the
// old contents.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace kestra {

// Missing: nothing is there. Unreadable: something is there that cannot be
// opened (no permission, a link loop, an I/O error). NotRegular: a FIFO, a
// device or a socket.
enum class OpenResult { Opened, Missing, Unreadable, Directory, NotRegular };

// Opens path for reading when it is a regular file (a link to one counts).
// A FIFO, a device or a directory is refused before anything is read, so
// opening never blocks. `file` is set only when Opened.
OpenResult OpenRegularFile(const std::string& path, std::FILE*& file);

// Writes the chunks, in order, to a temporary file beside the file that path
// names (a link is followed and stays a link), flushes it to the disk and
// renames it over the old file. False when anything fails; the old file is
// then untouched and the temporary file is gone. A stale temporary file of an
// earlier crash is replaced, never followed.
bool ReplaceFile(const std::string& path, const std::vector<std::span<const uint8_t>>& chunks);

// The temporary file ReplaceFile writes for a (resolved) path: the file name
// plus ".tmp", cut so that it still fits a file name.
std::string TemporaryPathFor(const std::string& path);

// Test hook: with KESTRA_FAULT=kill-before-rename in the environment the
// process kills itself between the complete temporary file and the rename,
// as a crash or a power cut at the worst moment would.
inline constexpr const char* kFaultVariable = "KESTRA_FAULT";
inline constexpr const char* kFaultKillBeforeRename = "kill-before-rename";

}  // namespace kestra
