// The four sound channels on six looping host audio buffers: 0-3 the wave
// channels, 4 the voice stream, 5 the noise of channel 4. Port writes only
// change a buffer's rate, volume and pan, start and stop it, or replace its
// contents; the host loops the buffers.
#pragma once

#include <cstdint>

#include "base/settings.h"
#include "sound/voice.h"

namespace kestra {

struct Machine;

constexpr int kVoiceBuffer = 4;
constexpr int kNoiseBuffer = 5;
constexpr uint32_t kWaveImageSize = 1024;
constexpr uint32_t kNoiseTableSize = 65536;
constexpr uint8_t kSilenceLevel = 107;  // a cleared buffer; 4-bit samples are 107 + 3n
constexpr int kNoiseTableCount = 8;

extern const int32_t VolumeTable[16];  // hundredths of a decibel by 4-bit volume
extern const int32_t MasterTable[4];
extern const int16_t PanTable[16][16];  // by left, right volume

struct LfsrTap {
  int width;
  uint32_t top;
  uint32_t taps;
};
extern const LfsrTap LfsrTapTable[14];

// The shared noise register that the patterns are computed with.
struct NoiseLfsr {
  uint32_t Register = 3;  // the first row's top bit - 1
  int Row = 0;            // row of LfsrTapTable in use
};

// The noise patterns and the noise counter's sequence: one LFSR run from its
// start, the same for every machine, so computed once and shared.
struct NoisePatterns {
  uint8_t Tables[kNoiseTableCount][kNoiseTableSize];  // pattern m: register width 15 - m
  uint16_t Sequence[65536];
};
const NoisePatterns& SharedNoisePatterns();

struct SoundState {
  uint8_t WaveImages[4][kWaveImageSize];  // channel c's 32 samples, repeated 32 times
  uint32_t NoiseReadIndex = 0;

  int32_t CachedVolume[6] = {-1, -1, -1, -1, -1, -1};
  int32_t CachedPeriod[6] = {-1, -1, -1, -1, -1, -1};
  int32_t CachedPan[6] = {-1, -1, -1, -1, -1, -1};

  int32_t SweepAmount = 0;   // port 0x8C, unsigned
  int32_t SweepReload = 0;   // lines between steps
  int32_t SweepCounter = -1;
  int32_t SweepPeriod = 0;   // channel 3's current period
  int MasterIndex = 0;

  VoiceState voice;
};

// Sets up the device and the six buffers and computes the noise patterns.
// 0, or -1 after a box (the machine then runs without sound).
int OpenSound(Machine& m);
void CloseSound(Machine& m);

int PlayBuffer(Machine& m, int buffer);
int StopBuffer(Machine& m, int buffer);
// Forgets the cached settings and fills the staging image and the host buffer
// with silence; playback goes on.
void ClearBuffer(Machine& m, int buffer);
void SetPeriod(Machine& m, int buffer, int period);
void SetVolumeIndex(Machine& m, int buffer, int volume);
void SetStereo(Machine& m, int buffer, int left, int right);
// Copies noise pattern `table` (buffer 5), the voice stage (4) or the wave
// image (0-3) into the host buffer.
void UploadBuffer(Machine& m, int buffer, int table);

// Side effects of ports 0x80-0x94; the port still holds its old value, and the
// caller stores the new one afterwards.
void WriteSoundPort(Machine& m, uint32_t port, uint8_t value);
// A write to byte `index` (0-63) of the wave table area.
void WaveHook(Machine& m, uint32_t index, uint8_t value);
// Once per line: the sweep of channel 3; returns the next noise counter value.
uint16_t SoundLineStep(Machine& m);

// One step of the shared noise register at `width` bits; returns the register.
uint32_t StepNoise(NoiseLfsr& s, int width);
// Samples per second for an 11-bit period, within what the host accepts.
int32_t PeriodRate(int period);

// The sound switch k of the menu: stored, and the channel's buffer started or
// stopped at once when port 0x90 enables the channel. Called by the UI thread
// while the emulation runs.
void SwitchChannel(Machine& m, SoundSwitch k, bool on);
// The sound control port 0x90, which the UI thread reads while the emulation
// thread writes it: both sides go through these (relaxed atomic accesses).
uint8_t SoundControl(const Machine& m);
void StoreSoundControl(Machine& m, uint8_t value);

// A "WsSoundｴﾗｰ" warning box.
void SoundError(Machine& m, const char* text);
// Whether the buffer exists; if not, a box with Verbose on.
bool BufferPresent(Machine& m, int buffer);
// Copies `bytes` from `source` (silence when null) into an existing buffer at
// `offset` through the host's lock; false after a box when that fails.
bool WriteHostBuffer(Machine& m, int buffer, uint32_t offset, const uint8_t* source, uint32_t bytes);

}  // namespace kestra
