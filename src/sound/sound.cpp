#include "sound/sound.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "core/machine.h"
#include "sound/host_audio.h"

namespace kestra {

const int32_t VolumeTable[16] = {-10000, -2352, -1750, -1398, -1148, -954, -796, -662,
                                 -546,   -444,  -352,  -269,  -194,  -124, -60,  0};

const int32_t MasterTable[4] = {0, -602, -1204, -1806};

// 2000 x log10(R / L), rounded, with L = 1 / R = 11 and its mirror as the
// console's own 2082 rather than 2083.
const int16_t PanTable[16][16] = {
    {0, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000},
    {-10000, 0, 602, 954, 1204, 1398, 1556, 1690, 1806, 1908, 2000, 2082, 2158, 2228, 2292, 2352},
    {-10000, -602, 0, 352, 602, 796, 954, 1088, 1204, 1306, 1398, 1481, 1556, 1626, 1690, 1750},
    {-10000, -954, -352, 0, 250, 444, 602, 736, 852, 954, 1046, 1129, 1204, 1274, 1338, 1398},
    {-10000, -1204, -602, -250, 0, 194, 352, 486, 602, 704, 796, 879, 954, 1024, 1088, 1148},
    {-10000, -1398, -796, -444, -194, 0, 158, 292, 408, 511, 602, 685, 760, 830, 894, 954},
    {-10000, -1556, -954, -602, -352, -158, 0, 134, 250, 352, 444, 526, 602, 672, 736, 796},
    {-10000, -1690, -1088, -736, -486, -292, -134, 0, 116, 218, 310, 393, 468, 538, 602, 662},
    {-10000, -1806, -1204, -852, -602, -408, -250, -116, 0, 102, 194, 277, 352, 422, 486, 546},
    {-10000, -1908, -1306, -954, -704, -511, -352, -218, -102, 0, 92, 174, 250, 319, 384, 444},
    {-10000, -2000, -1398, -1046, -796, -602, -444, -310, -194, -92, 0, 83, 158, 228, 292, 352},
    {-10000, -2082, -1481, -1129, -879, -685, -526, -393, -277, -174, -83, 0, 76, 145, 209, 269},
    {-10000, -2158, -1556, -1204, -954, -760, -602, -468, -352, -250, -158, -76, 0, 70, 134, 194},
    {-10000, -2228, -1626, -1274, -1024, -830, -672, -538, -422, -319, -228, -145, -70, 0, 64, 124},
    {-10000, -2292, -1690, -1338, -1088, -894, -736, -602, -486, -384, -292, -209, -134, -64, 0, 60},
    {-10000, -2352, -1750, -1398, -1148, -954, -796, -662, -546, -444, -352, -269, -194, -124, -60, 0},
};

const LfsrTap LfsrTapTable[14] = {
    {2, 0x4, 0x3},        {3, 0x8, 0x3},       {4, 0x10, 0x3},      {5, 0x20, 0x5},
    {6, 0x40, 0x3},       {7, 0x80, 0x3},      {8, 0x100, 0x1D},    {9, 0x200, 0x11},
    {10, 0x400, 0x9},     {11, 0x800, 0x5},    {12, 0x1000, 0x53},  {13, 0x2000, 0x1B},
    {14, 0x4000, 0x33},   {15, 0x8000, 0x3},
};

namespace {

const char kCaption[] = "WsSoundｴﾗｰ";
const char kCannotCreateDevice[] = "DSoundが作成できません";
const char kCannotCooperate[] = "協調ﾚﾍﾞﾙ設定ができません";
const char kCannotCreateBuffer[] = "ﾊﾞｯｸﾊﾞｯﾌｧが作成できません";
const char kNoBuffer[] = "ﾊﾞｯｸﾊﾞｯﾌｧがありません";
const char kCannotPlay[] = "ﾊﾞｯｸﾊﾞｯﾌｧを再生できません";
const char kCannotStop[] = "ﾊﾞｯｸﾊﾞｯﾌｧを停止できません";
const char kCannotLock[] = "ﾊﾞｯｸﾊﾞｯﾌｧをﾛｯｸできません";
const char kCannotUnlock[] = "ﾊﾞｯｸﾊﾞｯﾌｧをｱﾝﾛｯｸできません";
const char kCannotSetFrequency[] = "ﾊﾞｯｸﾊﾞｯﾌｧの周波数を設定できません";
const char kCannotSetVolume[] = "ﾊﾞｯｸﾊﾞｯﾌｧのﾎﾞﾘｭｰﾑを設定できません";
const char kCannotSetPan[] = "ﾊﾞｯｸﾊﾞｯﾌｧのﾊﾟﾝを設定できません";

constexpr uint32_t kBufferSizes[kHostBufferCount] = {kWaveImageSize, kWaveImageSize, kWaveImageSize,
                                                     kWaveImageSize, kVoiceRingSize, kNoiseTableSize};

// Which value of port 0x90 enables each buffer, and the switch that gates it.
struct ChannelEnable {
  int buffer;
  SoundSwitch gate;
  uint8_t mask;
  uint8_t want;
};
constexpr ChannelEnable kChannelEnables[] = {
    {0, Sound1, 0x01, 0x01},
    {1, Sound2, 0x22, 0x02},  // wave mode only: bit 5 is voice mode
    {2, Sound3, 0x04, 0x04},
    {3, Sound4, 0x88, 0x08},  // wave mode only: bit 7 is noise mode
    {kNoiseBuffer, SoundNoise, 0x88, 0x88},
};

bool Enabled(const ChannelEnable& e, uint8_t control) { return (control & e.mask) == e.want; }

void ControlChannels(Machine& m, uint8_t old, uint8_t value) {
  for (const ChannelEnable& e : kChannelEnables) {
    const bool on = Enabled(e, value);
    const bool was = Enabled(e, old);
    if (on && !was) {
      if (m.settings.sound(e.gate)) PlayBuffer(m, e.buffer);
    } else if (!on && was) {
      StopBuffer(m, e.buffer);
    }
  }
}

void FillNoise(NoisePatterns& p) {
  NoiseLfsr s;
  for (int t = 0; t < kNoiseTableCount; ++t) {
    for (uint8_t& b : p.Tables[t]) b = (StepNoise(s, 15 - t) & 1) ? 152 : kSilenceLevel;
  }
  for (uint16_t& v : p.Sequence) v = static_cast<uint16_t>(StepNoise(s, 15));
}

}  // namespace

void SoundError(Machine& m, const char* text) { ShowMessage(m, kCaption, text, MessageIcon::Warning); }

bool BufferPresent(Machine& m, int buffer) {
  if (m.host.audio && m.host.audio->HasBuffer(buffer)) return true;
  if (m.settings.verbose()) SoundError(m, kNoBuffer);
  return false;
}

bool WriteHostBuffer(Machine& m, int buffer, uint32_t offset, const uint8_t* source, uint32_t bytes) {
  HostAudio& audio = *m.host.audio;
  LockedRange range;
  if (!audio.Lock(buffer, offset, bytes, range)) {
    SoundError(m, kCannotLock);
    return false;
  }
  if (source) {
    std::memcpy(range.first, source, range.firstBytes);
    if (range.second) std::memcpy(range.second, source + range.firstBytes, range.secondBytes);
  } else {
    std::memset(range.first, kSilenceLevel, range.firstBytes);
    if (range.second) std::memset(range.second, kSilenceLevel, range.secondBytes);
  }
  if (!audio.Unlock(buffer, range)) {
    SoundError(m, kCannotUnlock);
    return false;
  }
  return true;
}

int OpenSound(Machine& m) {
  HostAudio* audio = m.host.audio;
  if (!audio || !audio->CreateDevice()) {
    SoundError(m, kCannotCreateDevice);
    CloseSound(m);
    return -1;
  }
  if (!audio->StartDevice()) {
    SoundError(m, kCannotCooperate);
    CloseSound(m);
    return -1;
  }
  for (int i : {0, 1, 2, 3, kNoiseBuffer, kVoiceBuffer}) {
    if (!audio->CreateBuffer(i, kBufferSizes[i])) {
      SoundError(m, kCannotCreateBuffer);
      CloseSound(m);
      return -1;
    }
    ClearBuffer(m, i);
  }
  m.noise = &SharedNoisePatterns();
  return 0;
}

void CloseSound(Machine& m) {
  HostAudio* audio = m.host.audio;
  if (!audio || !audio->HasDevice()) return;
  for (int i = 0; i < kHostBufferCount; ++i) {
    audio->Stop(i);
    audio->ReleaseBuffer(i);
  }
  audio->ReleaseDevice();
}

namespace {

int SetPlaying(Machine& m, int buffer, bool play) {
  if (!BufferPresent(m, buffer)) return -1;
  HostAudio& audio = *m.host.audio;
  if (!(play ? audio.Play(buffer) : audio.Stop(buffer))) {
    SoundError(m, play ? kCannotPlay : kCannotStop);
    return -1;
  }
  return 0;
}

}  // namespace

int PlayBuffer(Machine& m, int buffer) { return SetPlaying(m, buffer, true); }

int StopBuffer(Machine& m, int buffer) { return SetPlaying(m, buffer, false); }

void ClearBuffer(Machine& m, int buffer) {
  SoundState& s = m.sound;
  if (buffer < 0 || buffer >= kHostBufferCount) return;
  s.CachedVolume[buffer] = s.CachedPeriod[buffer] = s.CachedPan[buffer] = -1;
  if (buffer < 4) {
    std::memset(s.WaveImages[buffer], kSilenceLevel, kWaveImageSize);
  } else if (buffer == kVoiceBuffer) {
    std::memset(s.voice.VoiceStage, kSilenceLevel, kVoiceRingSize);
  }
  if (!BufferPresent(m, buffer)) return;
  WriteHostBuffer(m, buffer, 0, nullptr, kBufferSizes[buffer]);
}

int32_t PeriodRate(int period) {
  const int32_t rate = 3072000 / (2048 - (period & 0x7FF));
  return std::clamp(rate, kMinBufferRate, kMaxBufferRate);
}

void SetPeriod(Machine& m, int buffer, int period) {
  if (!BufferPresent(m, buffer)) return;
  SoundState& s = m.sound;
  if (period == s.CachedPeriod[buffer]) return;
  s.CachedPeriod[buffer] = period;
  if (buffer == 2) s.SweepPeriod = period;
  if (!m.host.audio->SetFrequency(buffer, PeriodRate(period)) && m.settings.verbose()) {
    SoundError(m, kCannotSetFrequency);
  }
}

void SetVolumeIndex(Machine& m, int buffer, int volume) {
  if (!BufferPresent(m, buffer)) return;
  SoundState& s = m.sound;
  if (volume == s.CachedVolume[buffer]) return;
  s.CachedVolume[buffer] = volume;
  const int32_t attenuation =
      std::max(VolumeTable[volume & 15] + MasterTable[s.MasterIndex & 3], kSilentMillibels);
  if (!m.host.audio->SetVolume(buffer, attenuation)) SoundError(m, kCannotSetVolume);
}

void SetStereo(Machine& m, int buffer, int left, int right) {
  if (!BufferPresent(m, buffer)) return;
  left &= 15;
  right &= 15;
  SetVolumeIndex(m, buffer, std::max(left, right));
  SoundState& s = m.sound;
  const int32_t pan = PanTable[left][right];
  if (pan == s.CachedPan[buffer]) return;
  s.CachedPan[buffer] = pan;
  if (!m.host.audio->SetPan(buffer, pan)) SoundError(m, kCannotSetPan);
}

void UploadBuffer(Machine& m, int buffer, int table) {
  if (!BufferPresent(m, buffer)) return;
  SoundState& s = m.sound;
  if (buffer == kNoiseBuffer) {
    WriteHostBuffer(m, buffer, 0, SharedNoisePatterns().Tables[table & 7], kNoiseTableSize);
  } else if (buffer == kVoiceBuffer) {
    WriteHostBuffer(m, buffer, 0, s.voice.VoiceStage, kVoiceRingSize);
  } else {
    WriteHostBuffer(m, buffer, 0, s.WaveImages[buffer], kWaveImageSize);
  }
}

void WaveHook(Machine& m, uint32_t index, uint8_t value) {
  const int channel = (index >> 4) & 3;
  const uint32_t k = index & 15;
  uint8_t* image = m.sound.WaveImages[channel];
  const uint8_t low = kSilenceLevel + 3 * (value & 15);
  const uint8_t high = kSilenceLevel + 3 * (value >> 4);
  for (uint32_t r = 0; r < kWaveImageSize; r += 32) {
    image[r + 2 * k] = low;
    image[r + 2 * k + 1] = high;
  }
  // A waveform is heard once its last byte is in.
  if (k == 15) UploadBuffer(m, channel, 0);
}

void WriteSoundPort(Machine& m, uint32_t port, uint8_t v) {
  const uint8_t* ports = m.io.IoPorts;
  const int period = (v & 7) << 8;
  switch (port) {
    case kPortSoundPeriod1 + 1: SetPeriod(m, 0, period | ports[kPortSoundPeriod1]); break;
    case kPortSoundPeriod2 + 1: SetPeriod(m, 1, period | ports[kPortSoundPeriod2]); break;
    case kPortSoundPeriod3 + 1: SetPeriod(m, 2, period | ports[kPortSoundPeriod3]); break;
    case kPortSoundPeriod4 + 1:
      SetPeriod(m, kNoiseBuffer, period | ports[kPortSoundPeriod4]);
      SetPeriod(m, 3, period | ports[kPortSoundPeriod4]);
      break;
    case kPortSoundVolume1: SetStereo(m, 0, v >> 4, v & 15); break;
    case kPortSoundVolume2:
      // In voice mode the byte is the voice sample, not a volume.
      if (!(ports[kPortSoundControl] & 0x20)) SetStereo(m, 1, v >> 4, v & 15);
      break;
    case kPortSoundVolume3: SetStereo(m, 2, v >> 4, v & 15); break;
    case kPortSoundVolume4:
      SetStereo(m, kNoiseBuffer, v >> 4, v & 15);
      SetStereo(m, 3, v >> 4, v & 15);
      break;
    case kPortSweepAmount: m.sound.SweepAmount = v; break;
    case kPortSweepTime: m.sound.SweepReload = (v + 1) * 32; break;
    case kPortNoiseControl: UploadBuffer(m, kNoiseBuffer, v & 7); break;
    case kPortWaveTableBase: m.mem.WaveTableBase = v * 64; break;
    case kPortSoundControl: ControlChannels(m, ports[kPortSoundControl], v); break;
    case kPortSoundOutput: m.sound.MasterIndex = 0; break;
    default: break;  // 0x80, 0x82, 0x84, 0x86, 0x92-0x94 are only stored
  }
}

uint8_t SoundControl(const Machine& m) {
  return std::atomic_ref<const uint8_t>(m.io.IoPorts[kPortSoundControl]).load(std::memory_order_relaxed);
}

void StoreSoundControl(Machine& m, uint8_t value) {
  std::atomic_ref<uint8_t>(m.io.IoPorts[kPortSoundControl]).store(value, std::memory_order_relaxed);
}

void SwitchChannel(Machine& m, SoundSwitch k, bool on) {
  m.settings.setSound(k, on);
  if (k > SoundNoise) return;  // PCM and DMA act through the scheduler's samples
  const ChannelEnable& e = kChannelEnables[k];
  if (!Enabled(e, SoundControl(m))) return;
  if (on) {
    PlayBuffer(m, e.buffer);
  } else {
    StopBuffer(m, e.buffer);
  }
}

uint16_t SoundLineStep(Machine& m) {
  SoundState& s = m.sound;
  if (s.SweepAmount != 0 && (m.io.IoPorts[kPortSoundControl] & 0x40)) {
    if (s.SweepCounter < 0) {
      s.SweepCounter = s.SweepReload;
      s.SweepPeriod = (s.SweepPeriod + s.SweepAmount) & 0x7FF;
      int32_t rate = 3072000 / (2048 - s.SweepPeriod);
      if (rate > kMaxBufferRate) {
        rate = kMaxBufferRate;
        SetVolumeIndex(m, 2, 0);  // channel 3 falls silent
      }
      rate = std::max(rate, kMinBufferRate);
      // Unreported, and the period cache keeps the written period.
      if (m.host.audio) m.host.audio->SetFrequency(2, rate);
    }
    --s.SweepCounter;
  }
  s.NoiseReadIndex = (s.NoiseReadIndex + 1) & 0xFFFF;
  // Without a sound device the patterns were never made: the counter reads 0.
  return m.noise ? m.noise->Sequence[s.NoiseReadIndex] : 0;
}

const NoisePatterns& SharedNoisePatterns() {
  static const NoisePatterns* const patterns = [] {
    auto* p = new NoisePatterns;  // 640 KB: kept for the program's life
    FillNoise(*p);
    return p;
  }();
  return *patterns;
}

uint32_t StepNoise(NoiseLfsr& s, int width) {
  const LfsrTap* row = &LfsrTapTable[s.Row];
  if (width != row->width) {
    int r = 13;  // a width the table lacks takes its last row
    for (int i = 0; i < 14; ++i) {
      if (LfsrTapTable[i].width == width) r = i;
    }
    s.Row = r;
    row = &LfsrTapTable[r];
    s.Register &= row->top - 1;
    if (s.Register == 0) s.Register = row->top - 1;
  }
  const bool odd = __builtin_parity(s.Register & row->taps);
  s.Register = (odd ? s.Register | row->top : s.Register & ~row->top) >> 1;
  return s.Register;
}

}  // namespace kestra
