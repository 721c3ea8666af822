#include "sound/voice.h"

#include <algorithm>
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

uint8_t VoiceOutputLevel(uint8_t sample) {
  return static_cast<uint8_t>(std::clamp((sample >> 1) + 0x40, 0x55, 0xAA));
}

uint8_t NextVoiceSample(Machine& m) {
  uint8_t* io = m.io.IoPorts;
  if ((io[kPortSoundDmaControl] & 0x88) == 0x80) {
    uint32_t source = io[kPortSoundDmaSource + 2] << 16 | io[kPortSoundDmaSource + 1] << 8 |
                      io[kPortSoundDmaSource];
    int32_t count = io[kPortSoundDmaCount + 1] << 8 | io[kPortSoundDmaCount];
    uint8_t sample = ReadMemory(m, source);
    if (!m.settings.sound(SoundDMA)) sample = 0x80;
    io[kPortSoundVolume2] = sample;
    --count;
    ++source;
    if (count < 32) {
      count = 0;
      io[kPortSoundDmaControl] &= 0x7F;
    }
    io[kPortSoundDmaSource] = source & 0xFF;
    io[kPortSoundDmaSource + 1] = (source >> 8) & 0xFF;
    io[kPortSoundDmaSource + 2] = (source >> 16) & 0xFF;
    io[kPortSoundDmaCount] = count & 0xFF;
    io[kPortSoundDmaCount + 1] = (count >> 8) & 0xFF;
    return sample;
  }
  if ((io[kPortSoundControl] & 0x22) == 0x22) {
    return m.settings.sound(SoundPCM) ? io[kPortSoundVolume2] : 0x80;
  }
  return 0x80;
}

void SoundLine(Machine& m) {
  uint8_t* io = m.io.IoPorts;
  const uint16_t noise = SoundLineStep(m);
  io[kPortNoiseCounter] = noise & 0xFF;
  io[kPortNoiseCounter + 1] = noise >> 8;
  PushVoiceSample(m, VoiceOutputLevel(NextVoiceSample(m)));
}

}  // namespace kestra
