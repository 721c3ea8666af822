// The emulator's save states: the raw sections of a state (what a rewind
// keeps and the libretro core hands out), and state files around them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/files.h"
#include "emulator/emulator.h"
#include "emulator/snapshot.h"
#include "system/console.h"
#include "video/png.h"

namespace kestra {

namespace {

struct Identity {
  uint8_t footer[kFooterSize];
  uint8_t pad[2];
  uint32_t romBanks;
  uint32_t loadedBanks;
  uint32_t saveBytes;
  uint64_t romHash;
};

constexpr uint32_t Tag(const char (&t)[5]) {
  return static_cast<uint32_t>(t[0] | t[1] << 8 | t[2] << 16 | t[3] << 24);
}

// The sections, in order: tag and the state they hold.
struct ClockSection {
  uint64_t emulatedSlices;
  uint64_t slicesRun;
  uint64_t mixedFrames;
};

void PutSection(std::vector<uint8_t>& out, uint32_t tag, const void* data, size_t size) {
  const size_t at = out.size();
  out.resize(at + 8 + size);
  const uint32_t length = static_cast<uint32_t>(size);
  std::memcpy(out.data() + at, &tag, 4);
  std::memcpy(out.data() + at + 4, &length, 4);
  if (size) std::memcpy(out.data() + at + 8, data, size);
}

template <typename T>
void PutSection(std::vector<uint8_t>& out, uint32_t tag, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  PutSection(out, tag, &value, sizeof value);
}

// Reads the next section, which must carry `tag`.
bool TakeSection(std::span<const uint8_t>& in, uint32_t tag, std::span<const uint8_t>& body) {
  if (in.size() < 8) return false;
  uint32_t got, length;
  std::memcpy(&got, in.data(), 4);
  std::memcpy(&length, in.data() + 4, 4);
  if (got != tag || in.size() - 8 < length) return false;
  body = in.subspan(8, length);
  in = in.subspan(8 + length);
  return true;
}

template <typename T>
bool TakeSection(std::span<const uint8_t>& in, uint32_t tag, T& value) {
  std::span<const uint8_t> body;
  if (!TakeSection(in, tag, body) || body.size() != sizeof value) return false;
  std::memcpy(&value, body.data(), sizeof value);
  return true;
}

// Fields that index tables or arrays, or that the run loop relies on; null
// when all are in range, else the field's name.
const char* OutOfRange(const MachineState& s, const CartridgeState& cart) {
  const auto in = [](int64_t v, int64_t low, int64_t high) { return v >= low && v <= high; };
  if (!in(s.mem.SaveBankMapped, -1, std::max(cart.SaveBankCount, 1) - 1)) return "save bank";
  if (s.mem.WaveTableBase != -1 && !(in(s.mem.WaveTableBase, 0, 0xFFC0) && s.mem.WaveTableBase % 64 == 0)) {
    return "wave table";
  }
  if (!in(s.sched.SlicePhase, 0, kSlicesPerLine - 1)) return "slice phase";
  if (!in(s.sched.CycleBalance, -(1 << 20), kCyclesPerSlice)) return "cycle balance";
  if (!in(s.sched.FrameSkipCounter, 0, 4)) return "frame skip counter";
  if (s.io.IoPorts[kPortLine] >= kLinesPerFrame) return "line counter";
  if (!in(s.sprites.count, 0, kSpriteSnapshotEntries)) return "sprite count";
  if (!in(s.sound.MasterIndex, 0, 3)) return "sound output";
  if (s.sound.voice.VoiceFill >= kVoiceBlockSize) return "voice ring position";
  if (s.sound.voice.VoiceBlock >= kVoiceBlockCount) return "voice ring block";
  if (s.sound.NoiseReadIndex > 0xFFFF) return "noise position";
  if (!in(s.sound.SweepPeriod, 0, 0x7FF)) return "sweep period";
  const CpuState& c = s.cpu;
  if (c.nesting != 0 || c.nestedStep != 0 || c.segOverride.active > 1) return "CPU step";
  if (c.flags.trap > 1 || c.flags.interruptEnable > 1 || c.flags.direction > 1) return "CPU flags";
  return nullptr;
}

size_t FrameBufferBytes(const Machine& m) {
  const DisplayState& d = m.display;
  if (!d.FrameBuffer) return 0;
  const DisplayGeometry g = GeometryFor(d.DisplayScale, d.DisplayVertical);
  return static_cast<size_t>(d.FramePitch) * g.frameHeight;
}

}  // namespace

void Emulator::BuildPayload(std::vector<uint8_t>& out, bool forRewind) {
  const Machine& m = *m_;
  const CartridgeState& cart = m.cart;
  out.clear();
  Identity id{};
  std::memcpy(id.footer, cart.Footer, kFooterSize);
  id.romBanks = static_cast<uint32_t>(cart.RomBankCount);
  id.loadedBanks = static_cast<uint32_t>(cart.LoadedRomBanks);
  const std::span<uint8_t> save = saveMemory();
  id.saveBytes = static_cast<uint32_t>(save.size());
  id.romHash = cart.RomHash;
  PutSection(out, Tag("CART"), id);
  PutSection(out, Tag("CPU "), m.cpu);
  PutSection(out, Tag("MEM "), m.mem);
  PutSection(out, Tag("PORT"), m.io);
  PutSection(out, Tag("EEPR"), m.eeprom);
  PutSection(out, Tag("SCHD"), m.sched);
  PutSection(out, Tag("SPRT"), m.sprites);
  PutSection(out, Tag("PALT"), m.palette);
  PutSection(out, Tag("SND "), m.sound);
  PutSection(out, Tag("SAVE"), save.data(), save.size());
  const ClockSection clock{emulatedTicks_ ? emulatedTicks_->slices : 0, sliceCount_, mixedFrames_};
  PutSection(out, Tag("CLCK"), clock);
  audioState_.clear();
  if (HostAudio* audio = m.host.audio) audio->SaveState(audioState_);
  PutSection(out, Tag("AUDI"), audioState_.data(), audioState_.size());
  // The lines of the frame being drawn: a state saved inside a frame shows
  // the whole frame once it is presented. A rewind state taken as line 0
  // begins needs none: every line of the next picture is drawn after it.
  // Line 0 is drawn in its phase 4; after phase 7 of the line before, the
  // counter is 0 already.
  const int phase = m.sched.SlicePhase;
  const bool lineZero = m.io.IoPorts[kPortLine] == 0 && (phase < 4 || phase == kSlicesPerLine - 1);
  PutSection(out, Tag("FRAM"), m.display.FrameBuffer,
             forRewind && lineZero ? 0 : FrameBufferBytes(m));
}

bool Emulator::ApplyPayload(std::span<const uint8_t> in, std::string& error) {
  Machine& m = *m_;
  const CartridgeState& cart = m.cart;
  if (!loaded()) {
    error = kStateNoCartridge;
    return false;
  }
  const auto damaged = [&error](const char* what) {
    error = StateDamaged(what);
    return false;
  };
  Identity id{};
  if (!TakeSection(in, Tag("CART"), id)) return damaged("cartridge");
  const std::span<uint8_t> save = saveMemory();
  if (std::memcmp(id.footer, cart.Footer, kFooterSize) != 0 ||
      id.romBanks != static_cast<uint32_t>(cart.RomBankCount) ||
      id.loadedBanks != static_cast<uint32_t>(cart.LoadedRomBanks) || id.romHash != cart.RomHash ||
      id.saveBytes != save.size()) {
    error = kStateOtherCartridge;
    return false;
  }
  // Everything into a copy first: a refused state changes nothing.
  auto& s = *staging_;
  std::span<const uint8_t> saveBody, audioBody;
  ClockSection clock{};
  if (!TakeSection(in, Tag("CPU "), s.cpu) || !TakeSection(in, Tag("MEM "), s.mem) ||
      !TakeSection(in, Tag("PORT"), s.io) || !TakeSection(in, Tag("EEPR"), s.eeprom) ||
      !TakeSection(in, Tag("SCHD"), s.sched) || !TakeSection(in, Tag("SPRT"), s.sprites) ||
      !TakeSection(in, Tag("PALT"), s.palette) || !TakeSection(in, Tag("SND "), s.sound)) {
    return damaged("a chip's section");
  }
  if (!TakeSection(in, Tag("SAVE"), saveBody) || saveBody.size() != save.size()) {
    return damaged("save memory");
  }
  if (!TakeSection(in, Tag("CLCK"), clock)) return damaged("clock");
  std::span<const uint8_t> frameBody;
  if (!TakeSection(in, Tag("AUDI"), audioBody)) return damaged("sound output");
  if (!TakeSection(in, Tag("FRAM"), frameBody) || !in.empty() ||
      (!frameBody.empty() && frameBody.size() != FrameBufferBytes(m))) {
    return damaged("picture");
  }
  if (const char* field = OutOfRange(s, cart)) {
    error = std::string(kStateOutOfRange) + " (" + field + ")";
    return false;
  }
  HostAudio* audio = m.host.audio;
  if (!audioBody.empty() && audio) {
    audioState_.clear();
    audio->SaveState(audioState_);  // to put back if the state's does not fit
    if (!audio->LoadState(audioBody)) return damaged("sound output");
  }
  static_cast<MachineState&>(m) = s;
  if (!frameBody.empty()) std::memcpy(m.display.FrameBuffer, frameBody.data(), frameBody.size());
  if (!save.empty()) std::memcpy(save.data(), saveBody.data(), save.size());
  if (emulatedTicks_) emulatedTicks_->slices = clock.emulatedSlices;
  sliceCount_ = clock.slicesRun;
  mixedFrames_ = clock.mixedFrames;
  framePos_ = 0;  // states are taken between frames
  RebuildDerived(m);
  return true;
}

size_t Emulator::StateSize() {
  if (!loaded()) return 0;
  BuildPayload(payload_);
  return payload_.size();
}

bool Emulator::SaveStateRaw(std::span<uint8_t> out) {
  if (!loaded()) return false;
  BuildPayload(payload_);
  if (out.size() < payload_.size()) return false;
  std::memcpy(out.data(), payload_.data(), payload_.size());
  return true;
}

bool Emulator::LoadStateRaw(std::span<const uint8_t> in, std::string& error) {
  return ApplyPayload(in, error);
}

std::vector<uint8_t> Emulator::SaveState() { return SaveState(LastFrame()); }

std::vector<uint8_t> Emulator::SaveState(const Frame& picture) {
  BuildPayload(payload_);
  std::vector<uint8_t> thumbnail;
  if (picture.pixels) {
    EncodePngXrgb(reinterpret_cast<const uint8_t*>(picture.pixels), picture.width, picture.height,
                  picture.pitch * 4, thumbnail);
  }
  return EncodeStateFile(payload_, thumbnail);
}

bool Emulator::LoadState(std::span<const uint8_t> file, std::string& error) {
  StateFile decoded;
  if (!DecodeStateFile(file, decoded, error)) return false;
  return ApplyPayload(decoded.payload, error);
}

bool Emulator::SaveStateFile(const std::string& path, std::string& error) {
  return SaveStateFile(path, error, LastFrame());
}

bool Emulator::SaveStateFile(const std::string& path, std::string& error, const Frame& picture) {
  if (!loaded()) {
    error = kStateNoCartridge;
    return false;
  }
  const std::vector<uint8_t> bytes = SaveState(picture);
  if (!ReplaceFile(path, {std::span<const uint8_t>(bytes)})) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

bool Emulator::LoadStateFile(const std::string& path, std::string& error) {
  std::FILE* f = nullptr;
  const OpenResult opened = OpenRegularFile(path, f);
  if (opened != OpenResult::Opened) {
    error = opened == OpenResult::Missing ? "no state file " + path : "cannot read " + path;
    return false;
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() > (64u << 20)) break;  // no state is near this: not one
  }
  std::fclose(f);
  return LoadState(bytes, error);
}

}  // namespace kestra
