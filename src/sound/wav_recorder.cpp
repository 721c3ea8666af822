#include "sound/wav_recorder.h"

#include <cstring>

#include "sound/host_audio.h"

namespace kestra {

namespace {

constexpr uint32_t kChannels = 2;
constexpr uint32_t kBytesPerFrame = kChannels * sizeof(int16_t);
constexpr uint32_t kHeaderBytes = 44;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = v & 0xFF;
  p[1] = (v >> 8) & 0xFF;
}

void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

// A canonical PCM header for `dataBytes` of samples.
void MakeHeader(uint8_t* h, uint32_t dataBytes) {
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);  // PCM
  Put16(h + 22, kChannels);
  Put32(h + 24, kOutputRate);
  Put32(h + 28, kOutputRate * kBytesPerFrame);
  Put16(h + 32, kBytesPerFrame);
  Put16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, dataBytes);
}

}  // namespace

WavRecorder::~WavRecorder() { Close(); }

bool WavRecorder::Open(const std::string& path) {
  Close();
  failed_ = false;
  frames_ = 0;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    failed_ = true;
    return false;
  }
  uint8_t header[kHeaderBytes];
  MakeHeader(header, 0);  // sizes filled in by Close
  failed_ = std::fwrite(header, 1, kHeaderBytes, file_) != kHeaderBytes;
  return !failed_;
}

void WavRecorder::RecordFrame(const int16_t* samples) {
  if (!file_) return;
  uint8_t bytes[kOutputFramesPerFrame * kChannels * 2];
  for (uint32_t i = 0; i < kOutputFramesPerFrame * kChannels; ++i) {
    Put16(bytes + 2 * i, static_cast<uint16_t>(samples[i]));  // little-endian on any host
  }
  if (std::fwrite(bytes, 1, sizeof bytes, file_) != sizeof bytes) failed_ = true;
  frames_ += kOutputFramesPerFrame;
}

bool WavRecorder::Close() {
  if (!file_) return !failed_;
  // A RIFF size is 32 bits: beyond about 6 hours of sound the header says
  // the most it can.
  const uint64_t data = frames_ * kBytesPerFrame;
  const uint32_t dataBytes = data > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(data);
  uint8_t header[kHeaderBytes];
  MakeHeader(header, dataBytes);
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, kHeaderBytes, file_) != kHeaderBytes) {
    failed_ = true;
  }
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace kestra
