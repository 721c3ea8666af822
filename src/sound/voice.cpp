#include "sound/voice.h"

#include <cstring>

#include "core/machine.h"
#include "sound/host_audio.h"
#include "sound/sound.h"

namespace kestra {

namespace {

constexpr int32_t kFullSpeedRate = 12000;  // one sample per line in real time
constexpr int32_t kFullSpeedThreshold = 10000;

}  // namespace

void PushVoiceSample(Machine& m, uint8_t sample) {
  VoiceState& v = m.sound.voice;
  v.VoiceStage[v.VoiceFill++] = sample;
  ++v.VoiceRateCount;
  const uint32_t now = m.host.ticks->Ticks();
  if (now >= v.VoiceRateTick) {
    v.VoiceRateTick = now + kVoiceRateWindow;
    int32_t rate = static_cast<int32_t>(v.VoiceRateCount * (1000 / kVoiceRateWindow));
    if (rate >= kFullSpeedThreshold) rate = kFullSpeedRate;
    // A rate the host refuses (the first sample's 8) leaves the old one; the
    // period cache is not involved.
    if (m.host.audio) m.host.audio->SetFrequency(kVoiceBuffer, rate);
    v.VoiceRateCount = 0;
  }
  if (v.VoiceFill >= kVoiceBlockSize) FlushVoiceBlock(m);
}

void FlushVoiceBlock(Machine& m) {
  VoiceState& v = m.sound.voice;
  if (!BufferPresent(m, kVoiceBuffer) ||
      !WriteHostBuffer(m, kVoiceBuffer, v.VoiceBlock * kVoiceBlockSize, v.VoiceStage, kVoiceBlockSize)) {
    v.VoiceFill = 0;  // the block is dropped
    return;
  }
  v.VoiceBlock = (v.VoiceBlock + 1) % kVoiceBlockCount;
  std::memset(v.VoiceStage, kSilenceLevel, kVoiceRingSize);
  v.VoiceFill = 0;
}

}  // namespace kestra
