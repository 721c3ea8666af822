#include "emulator/emulator.h"

#include "emulator/rewind.h"

#include <algorithm>
#include <cstring>

#include "sound/sound.h"
#include "sound/voice.h"
#include "sound/wav_recorder.h"
#include "system/console.h"
#include "system/loader.h"
#include "video/display.h"

namespace kestra {

Emulator::Emulator(const EmulatorHost& host) : owned_(CreateMachine()), m_(owned_.get()) {
  previous_ = m_->host;
  Bind(host);
}

Emulator::Emulator(Machine& machine, const EmulatorHost& host) : m_(&machine) {
  previous_ = m_->host;
  Bind(host);
}

void Emulator::Bind(const EmulatorHost& host) {
  HostServices& h = m_->host;
  if (host.messages) h.messages = host.messages;
  else h.messages = &ownMessages_;
  if (host.ticks) {
    h.ticks = host.ticks;
  } else {
    h.ticks = &ownTicks_;
    emulatedTicks_ = &ownTicks_;
  }
  keyProxy_.source = host.input ? host.input : &ownKeys_;
  h.input = &keyProxy_;
  if (!host.display) ownDisplay_ = std::make_unique<HeadlessDisplay>();
  h.display = host.display ? host.display : ownDisplay_.get();
  if (!host.audio) ownAudio_ = std::make_unique<OfflineAudio>();
  h.audio = host.audio ? host.audio : ownAudio_.get();
  frontEnd_ = host.frontEnd;
  h.frontEnd = this;
}

Emulator::~Emulator() {
  Unload();
  CloseOutputs();
  m_->host = previous_;
}

uint8_t Emulator::soundControl() const { return m_->io.IoPorts[kPortSoundControl]; }

void Emulator::SetSoundControl(uint8_t value) { WritePort(*m_, kPortSoundControl, value); }

void Emulator::RunPaced(const std::function<bool()>& stop,
                        const std::function<void(const std::string&)>& status) {
  JobLoop loop(*m_, status);
  loop.Run(stop);
}

void Emulator::OpenSound() {
  kestra::OpenSound(*m_);
  soundOpen_ = true;
}

void Emulator::OpenDisplay() {
  kestra::OpenDisplay(*m_);
  displayOpen_ = true;
}

void Emulator::CloseOutputs() {
  if (soundOpen_) CloseSound(*m_);
  if (displayOpen_) CloseDisplay(*m_);
  soundOpen_ = displayOpen_ = false;
}

void Emulator::LayoutForCartridge(bool vertical) {
  if (frontEnd_) frontEnd_->LayoutForCartridge(vertical);
  else kestra::SetDisplayGeometry(*m_, 1, vertical ? 1 : 0);
}

int Emulator::Load(const std::string& imagePath) {
  Unload();
  mixedFrames_ = 0;
  framePos_ = 0;
  playFrames_ = 0;
  if (rewind_) SetRewind(rewind_->cap, rewind_->interval);
  return LoadCartridge(*m_, imagePath);
}

int Emulator::LoadImage(std::span<const uint8_t> image, const std::string& savePath) {
  Unload();
  mixedFrames_ = 0;
  framePos_ = 0;
  playFrames_ = 0;
  if (rewind_) SetRewind(rewind_->cap, rewind_->interval);
  return LoadCartridgeImage(*m_, image, savePath);
}

void Emulator::Unload() {
  if (loaded()) UnloadCartridge(*m_);
}

void Emulator::Reset() {
  if (!loaded()) return;
  Machine& m = *m_;
  // As a load leaves the machine before its reset, with the pages kept.
  std::memset(m.mem.Iram, 0, sizeof m.mem.Iram);
  std::memset(m.mem.FillPage, 0xFF, sizeof m.mem.FillPage);
  std::memset(m.io.IoPorts, 0, sizeof m.io.IoPorts);
  RebuildDerived(m);
  ResetMachine(m);
  framePos_ = 0;
}

void Emulator::StartVoice() {
  SetStereo(*m_, kVoiceBuffer, 15, 15);
  PlayBuffer(*m_, kVoiceBuffer);
}

void Emulator::CentreVoice() {
  const uint8_t centre = VoiceOutputLevel(0x80);
  std::memset(m_->sound.voice.VoiceStage, centre, kVoiceRingSize);
  if (HostAudio* audio = m_->host.audio) {
    LockedRange range;
    if (audio->Lock(kVoiceBuffer, 0, kVoiceRingSize, range)) {
      std::memset(range.first, centre, range.firstBytes);
      if (range.second) std::memset(range.second, centre, range.secondBytes);
      audio->Unlock(kVoiceBuffer, range);
    }
  }
}

void Emulator::SilenceVoice() {
  // Stopped first: what it played fades out, then the silence is written.
  StopBuffer(*m_, kVoiceBuffer);
  ClearBuffer(*m_, kVoiceBuffer);
}

void Emulator::ClearOutputs() {
  for (int buffer : {0, 1, 2, 3, kNoiseBuffer, kVoiceBuffer}) ClearBuffer(*m_, buffer);
  ClearOutput(*m_);
}

void Emulator::SetDisplayGeometry(int scale, bool vertical) {
  kestra::SetDisplayGeometry(*m_, scale, vertical ? 1 : 0);
}

void Emulator::SwitchChannel(SoundSwitch k, bool on) { kestra::SwitchChannel(*m_, k, on); }

void Emulator::RunSlices(int slices) {
  if (!emulatedTicks_) {
    kestra::RunSlices(*m_, slices);
    sliceCount_ += static_cast<uint64_t>(slices);
    return;
  }
  constexpr int kPerTick = EmulatedTicks::kSlicesPerMillisecond;
  // In steps that end on millisecond marks, so the clock reads exactly.
  while (slices > 0) {
    const int step = std::min<int>(
        slices, kPerTick - static_cast<int>(emulatedTicks_->slices % kPerTick));
    kestra::RunSlices(*m_, step);
    emulatedTicks_->slices += static_cast<uint64_t>(step);
    sliceCount_ += static_cast<uint64_t>(step);
    slices -= step;
  }
}

void Emulator::RunFrames(int frames, uint16_t keys) {
  for (int i = 0; i < frames; ++i) RunFrame(keys);
}

Emulator::Frame Emulator::LastFrame() const {
  Frame f;
  if (!ownDisplay_ || ownDisplay_->presentedFrames() == 0) return f;
  f.pixels = ownDisplay_->PresentedPixels();
  f.width = ownDisplay_->width();
  f.height = ownDisplay_->height();
  f.pitch = f.width;
  return f;
}

void Emulator::MixFrame(int16_t* out) {
  HostAudio& audio = *m_->host.audio;
  // The voice buffer holds still during the first frame's mix: from then on
  // the mix reads the voice ring one block behind the block being collected,
  // never one that is still filling.
  const bool holdVoice = mixedFrames_ == 0 && audio.Status(kVoiceBuffer).playing;
  if (holdVoice) audio.Stop(kVoiceBuffer);
  audio.Render(out, kOutputFramesPerFrame);
  if (holdVoice) audio.Play(kVoiceBuffer);
  ++mixedFrames_;
}

std::span<uint8_t> Emulator::saveMemory() {
  const CartridgeState& cart = m_->cart;
  if (!cart.savePages || cart.SaveBankSize == 0) return {};
  return {cart.savePages.get(), static_cast<size_t>(cart.SaveBankCount) * cart.SaveBankSize};
}

}  // namespace kestra
