// The one object every front end drives the machine through: the window
// program's emulation thread, kestra-headless and the libretro core. It owns
// the machine and whatever host services the front end does not bring
// itself: an emulated clock, a key mask, an off-screen picture and an
// offline mixer, so that a run without a window is repeatable.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/machine.h"
#include "sound/host_audio.h"
#include "video/headless_display.h"

namespace kestra {

// Emulated time: 5 ms per 480 slices, so a run does not depend on the host.
class EmulatedTicks final : public TickSource {
 public:
  static constexpr int kSlicesPerMillisecond = kSlicesPerJob / static_cast<int>(kJobMilliseconds);
  uint32_t Ticks() override { return static_cast<uint32_t>(slices / kSlicesPerMillisecond); }
  uint64_t slices = 0;
};

// The keys RunFrames was given.
class HeldKeys final : public InputSource {
 public:
  uint32_t PollInput() override { return mask; }
  uint16_t mask = 0;
};

// The keys the machine polls: the front end's (or RunFrame's), kept so a
// rewind can poll them again.
class KeyProxy final : public InputSource {
 public:
  uint32_t PollInput() override {
    if (replaying) return replayMask;
    last = static_cast<uint16_t>(source->PollInput());
    return last;
  }
  InputSource* source = nullptr;
  uint16_t last = 0;
  bool replaying = false;
  uint16_t replayMask = 0;
};

// What a front end's thread is asked to do while RunPlay runs; read once per
// 5 ms job, written from any thread.
struct PlayControl {
  std::atomic<bool> finishFrame{false};  // a stop runs on to the frame's end first
  std::atomic<int> fastForward{-1};      // -1: real time; n > 0: n times; 0: unpaced
  std::atomic<bool> rewinding{false};    // a step back per frame period
};

// What the front end brings; every null service is the emulator's own.
struct EmulatorHost {
  MessageService* messages = nullptr;  // own: stderr
  TickSource* ticks = nullptr;         // own: emulated time
  InputSource* input = nullptr;        // own: the key mask of RunFrames
  DisplayHost* display = nullptr;      // own: an off-screen picture in XRGB
  HostAudio* audio = nullptr;          // own: an offline mixer, pulled by MixFrame
  FrontEnd* frontEnd = nullptr;        // own: the picture turned for the cartridge, scale 1
};

class Emulator final : private FrontEnd {
 public:
  explicit Emulator(const EmulatorHost& host = {});
  // Drives a machine the caller owns; its host services are given back when
  // the emulator ends.
  Emulator(Machine& machine, const EmulatorHost& host);
  ~Emulator() override;  // unloads (the save is written) and closes the outputs
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  Machine& machine() { return *m_; }
  const Machine& machine() const { return *m_; }

  // The sound control port, which the front end silences (0) while the
  // emulation is stopped and puts back before it runs again.
  uint8_t soundControl() const;
  void SetSoundControl(uint8_t value);

  // Runs 5 ms jobs paced by the host's clock until stop() is true, with the
  // load figure to `status` once a second: the window's emulation thread.
  void RunPaced(const std::function<bool()>& stop,
                const std::function<void(const std::string&)>& status);

  // RunPaced with the frames kept whole: the same 5 ms jobs of 480 slices
  // and load figure in real time, the frames recorded for rewind as RunFrame
  // records them, fast-forward (the real speed, "400%", once a second) and
  // rewind as `control` asks. A stop with finishFrame set ends on a frame
  // boundary.
  void RunPlay(PlayControl& control, const std::function<bool()>& stop,
               const std::function<void(const std::string&)>& status);
  // One frame of 1,272 slices with the front end's keys, recorded for rewind.
  void AdvanceFrame();
  // Slices run since the last frame boundary (0 after a load, reset, state
  // load or rewind step) and the whole frames RunPlay and AdvanceFrame ran
  // since the load.
  // The count may be watched from another thread while RunPlay runs.
  int slicesIntoFrame() const { return framePos_; }
  uint64_t playFrames() const { return playFrames_.load(std::memory_order_relaxed); }
  // RewindStep with playFrames() taken back a frame.
  bool StepBack();

  // The outputs as the program opens them at start: sound, then the display
  // (before a load, whose reset writes the palettes). A front end that reads
  // its configuration in between calls them itself.
  void OpenSound();
  void OpenDisplay();
  void CloseOutputs();

  // 0 on success; -1 after the loader's message. The cartridge in the
  // machine is unloaded first (its save written).
  int Load(const std::string& imagePath);
  // An image in memory; with a savePath the save file is read and written
  // there, without one the caller keeps the save memory (saveMemory()).
  int LoadImage(std::span<const uint8_t> image, const std::string& savePath = {});
  void Unload();
  bool loaded() const { return m_->cart.RomBankCount != 0; }

  // The console's reset with the cartridge and its save memory kept.
  void Reset();

  // The voice output at full volume and playing: what the front end does
  // before the emulation runs after a load.
  void StartVoice();
  // The voice ring and its host buffer at the level the running voice
  // output idles at, so a start makes no step (the window's restarts).
  void CentreVoice();
  // With the emulation stopped: the voice stopped, then silence written.
  void SilenceVoice();
  // Every sound buffer cleared and the picture blanked (a new image).
  void ClearOutputs();

  // The display output for a scale (1-3) and orientation.
  void SetDisplayGeometry(int scale, bool vertical);
  const DisplayState& display() const { return m_->display; }
  // The menu's sound switch: may be called while the emulation runs.
  void SwitchChannel(SoundSwitch k, bool on);
  Settings& settings() { return m_->settings; }

  // Whole frames of 1,272 slices with the given keys held (own input only).
  void RunFrame(uint16_t keys);
  void RunFrames(int frames, uint16_t keys);
  // Slices in steps that end on the emulated clock's millisecond marks.
  void RunSlices(int slices);
  uint64_t slicesRun() const { return sliceCount_; }

  // The last presented frame of the own picture: pixel (x, y) is
  // pixels[y * pitch + x], XRGB; null without one.
  struct Frame {
    const uint32_t* pixels = nullptr;
    int width = 0, height = 0, pitch = 0;
  };
  Frame LastFrame() const;
  HeadlessDisplay* ownDisplay() { return ownDisplay_.get(); }

  // One emulated frame of the own mixer's output: 636 stereo frames at
  // 48 kHz into out (1,272 values).
  void MixFrame(int16_t* out);
  HostAudio* audio() { return m_->host.audio; }

  // The cartridge's save RAM or EEPROM words (empty without save memory).
  std::span<uint8_t> saveMemory();

  // ---- Save states (emulator/state.cpp) ----
  // Loading a state and running on gives bit for bit what running on from
  // the moment of saving gave: memory, ports, pictures and sound. A refused
  // state returns false with `error` saying why and changes nothing.
  std::vector<uint8_t> SaveState();  // a state file's bytes, the last frame its thumbnail
  std::vector<uint8_t> SaveState(const Frame& picture);  // the picture a front end shows
  bool LoadState(std::span<const uint8_t> file, std::string& error);
  bool SaveStateFile(const std::string& path, std::string& error);  // replaced atomically
  bool LoadStateFile(const std::string& path, std::string& error);
  // With a thumbnail of the picture a front end shows (XRGB).
  bool SaveStateFile(const std::string& path, std::string& error, const Frame& picture);
  // The raw sections, uncompressed: the same size for a cartridge all along.
  size_t StateSize();
  bool SaveStateRaw(std::span<uint8_t> out);
  bool LoadStateRaw(std::span<const uint8_t> in, std::string& error);

  // ---- Rewind (emulator/rewind.cpp) ----
  // RunFrame keeps the keys of every frame and a state every `interval`
  // frames within `memoryCap` bytes (0: off); a step back restores the frame
  // before and shows it, back to the oldest frame held.
  static constexpr int kRewindInterval = 30;
  void SetRewind(size_t memoryCap, int interval = kRewindInterval);
  bool RewindStep();
  size_t rewindFrames() const;  // frames that can be stepped back
  size_t rewindBytes() const;

 private:
  void LayoutForCartridge(bool vertical) override;
  void Bind(const EmulatorHost& host);
  // forRewind: without the picture when no line of the next one is drawn yet.
  void BuildPayload(std::vector<uint8_t>& out, bool forRewind = false);
  bool ApplyPayload(std::span<const uint8_t> in, std::string& error);
  void RecordRewindFrame(uint16_t keys);
  void RunTracked(int slices);  // keeps frames whole for rewind

  std::unique_ptr<Machine> owned_;
  Machine* m_;
  HostServices previous_;  // a caller's machine gets these back
  StderrMessages ownMessages_;
  EmulatedTicks ownTicks_;
  EmulatedTicks* emulatedTicks_ = nullptr;  // the clock RunSlices advances, if ours
  HeldKeys ownKeys_;
  KeyProxy keyProxy_;
  bool replaying_ = false;
  std::vector<uint8_t> rewindState_;
  std::unique_ptr<HeadlessDisplay> ownDisplay_;
  std::unique_ptr<OfflineAudio> ownAudio_;
  FrontEnd* frontEnd_ = nullptr;  // the front end's, or null for ours
  uint64_t sliceCount_ = 0;
  int framePos_ = 0;
  std::atomic<uint64_t> playFrames_{0};
  uint64_t mixedFrames_ = 0;
  bool soundOpen_ = false, displayOpen_ = false;
  std::vector<uint8_t> payload_, audioState_;   // kept to save without allocating
  std::unique_ptr<MachineState> staging_ = std::make_unique<MachineState>();
  std::unique_ptr<class RewindBuffer> rewind_;
};

}  // namespace kestra
