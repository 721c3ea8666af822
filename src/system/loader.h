// Putting a cartridge into the machine: the image from a file or from
// memory, the save memory its footer asks for (from the .sav file beside the
// image, when there is one), then the console's reset. Unloading writes the
// save file back.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kestra {

struct Machine;

// 0 on success (machine reset and ready to run), -1 after a reported failure.
int LoadCartridge(Machine& m, const std::string& imagePath);

// An image held in memory. With a savePath its save memory is read from that
// file (missing: a new save) and written back there by UnloadCartridge;
// without one the save memory starts blank and the caller keeps it.
int LoadCartridgeImage(Machine& m, std::span<const uint8_t> image, const std::string& savePath);

// Writes the save file (through a temporary file renamed over the old one)
// and releases the save and ROM pages. Harmless without a cartridge.
void UnloadCartridge(Machine& m);

}  // namespace kestra
