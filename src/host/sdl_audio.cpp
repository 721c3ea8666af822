#include "host/sdl_audio.h"

#include <SDL.h>

namespace kestra {

namespace {
constexpr int kDeviceFrames = 512;  // about 11 ms per callback
}

SdlAudio::~SdlAudio() { ReleaseDevice(); }

bool SdlAudio::OpenOutput() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  subsystem_ = true;
  SDL_AudioSpec want{};
  want.freq = kOutputRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kDeviceFrames;
  want.callback = &SdlAudio::Callback;
  want.userdata = this;
  // No changes allowed: SDL converts to whatever the hardware takes.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (device_ == 0) {
    CloseOutput();
    return false;
  }
  return true;
}

bool SdlAudio::StartOutput() {
  if (device_ == 0) return false;
  SDL_PauseAudioDevice(device_, 0);
  return SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PLAYING;
}

void SdlAudio::CloseOutput() {
  if (device_ != 0) SDL_CloseAudioDevice(device_);  // waits for the callback to return
  device_ = 0;
  if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  subsystem_ = false;
}

void SdlAudio::Callback(void* self, uint8_t* stream, int bytes) {
  auto* audio = static_cast<SdlAudio*>(self);
  const uint32_t frames = static_cast<uint32_t>(bytes) / (2 * sizeof(int16_t));
  audio->Render(reinterpret_cast<int16_t*>(stream), frames);
  audio->framesRendered_.fetch_add(frames, std::memory_order_relaxed);
}

}  // namespace kestra
