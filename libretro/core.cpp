// Kestra as a libretro core: the front end calls in through the entry points
// below and the core drives the machine only through the emulator object,
// one whole emulated frame per retro_run, with the emulator's own clock,
// off-screen picture and offline mixer.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "libretro_api.h"

namespace {

using kestra::Emulator;

// The console's keys as ButtonMask bits: the Y pad in bits 0-3 and the X pad
// in bits 4-7 (1 = up, 2 = right, 3 = down, 4 = left as the console is held
// sideways), then Option, Start, A and B.
enum Key : uint16_t {
  kY1 = 1 << 0, kY2 = 1 << 1, kY3 = 1 << 2, kY4 = 1 << 3,
  kX1 = 1 << 4, kX2 = 1 << 5, kX3 = 1 << 6, kX4 = 1 << 7,
  kOption = 1 << 8, kStart = 1 << 9, kA = 1 << 10, kB = 1 << 11,
};

struct Binding {
  unsigned id;  // RetroPad button
  uint16_t key;
};

// Held sideways the X pad is the one under the left thumb: it goes on the
// D-pad, A and B on the RetroPad's A and B, and the Y pad, which few games
// use in this position, on the shoulder buttons (L2 up, R right, R2 down,
// L left).
constexpr Binding kHorizontal[] = {
    {RETRO_DEVICE_ID_JOYPAD_UP, kX1},
    {RETRO_DEVICE_ID_JOYPAD_RIGHT, kX2},
    {RETRO_DEVICE_ID_JOYPAD_DOWN, kX3},
    {RETRO_DEVICE_ID_JOYPAD_LEFT, kX4},
    {RETRO_DEVICE_ID_JOYPAD_L2, kY1},
    {RETRO_DEVICE_ID_JOYPAD_R, kY2},
    {RETRO_DEVICE_ID_JOYPAD_R2, kY3},
    {RETRO_DEVICE_ID_JOYPAD_L, kY4},
    {RETRO_DEVICE_ID_JOYPAD_A, kA},
    {RETRO_DEVICE_ID_JOYPAD_B, kB},
    {RETRO_DEVICE_ID_JOYPAD_START, kStart},
    {RETRO_DEVICE_ID_JOYPAD_SELECT, kOption},
};

// Held upright the Y pad does the steering, as in the window program's
// defaults: it goes on the D-pad, Y1 now pointing left. The X pad goes on the
// RetroPad's face buttons, a diamond turned the same way: Y (left) X1, X (up)
// X2, A (right) X3, B (down) X4; the console's A and B on R and L.
constexpr Binding kVertical[] = {
    {RETRO_DEVICE_ID_JOYPAD_LEFT, kY1},
    {RETRO_DEVICE_ID_JOYPAD_UP, kY2},
    {RETRO_DEVICE_ID_JOYPAD_RIGHT, kY3},
    {RETRO_DEVICE_ID_JOYPAD_DOWN, kY4},
    {RETRO_DEVICE_ID_JOYPAD_Y, kX1},
    {RETRO_DEVICE_ID_JOYPAD_X, kX2},
    {RETRO_DEVICE_ID_JOYPAD_A, kX3},
    {RETRO_DEVICE_ID_JOYPAD_B, kX4},
    {RETRO_DEVICE_ID_JOYPAD_R, kA},
    {RETRO_DEVICE_ID_JOYPAD_L, kB},
    {RETRO_DEVICE_ID_JOYPAD_START, kStart},
    {RETRO_DEVICE_ID_JOYPAD_SELECT, kOption},
};

constexpr int kLcdLong = 224, kLcdShort = 144;
constexpr double kFps = 3072000.0 / (256.0 * 159.0);
constexpr double kSampleRate = 48000.0;
constexpr unsigned kAudioFrames = 636;  // per emulated frame at 48 kHz

enum class Orientation { Auto, Horizontal, Vertical };

constexpr const char* kChannelKeys[kestra::SoundSwitchCount] = {
    "kestra_channel1", "kestra_channel2", "kestra_channel3", "kestra_channel4",
    "kestra_noise", "kestra_pcm", "kestra_dma"};

constexpr retro_variable kVariables[] = {
    {"kestra_orientation", "Screen orientation; auto|horizontal|vertical"},
    {"kestra_swap_pads", "Swap the X and Y pads; disabled|enabled"},
    {"kestra_frameskip", "Frame skip; 0|1|2|3|4"},
    {"kestra_channel1", "Sound channel 1; enabled|disabled"},
    {"kestra_channel2", "Sound channel 2; enabled|disabled"},
    {"kestra_channel3", "Sound channel 3; enabled|disabled"},
    {"kestra_channel4", "Sound channel 4; enabled|disabled"},
    {"kestra_noise", "Sound noise; enabled|disabled"},
    {"kestra_pcm", "Sound PCM voice; enabled|disabled"},
    {"kestra_dma", "Sound DMA; enabled|disabled"},
    {nullptr, nullptr},
};

retro_environment_t environ_cb;
retro_video_refresh_t video_cb;
retro_audio_sample_batch_t audio_batch_cb;
retro_input_poll_t input_poll_cb;
retro_input_state_t input_state_cb;
retro_log_printf_t log_cb;

void Log(retro_log_level level, const char* text) {
  if (log_cb) log_cb(level, "[Kestra] %s\n", text);
  else std::fprintf(stderr, "Kestra: %s\n", text);
}

// The machine's message boxes go to the front end's log.
class LogMessages final : public kestra::MessageService {
 public:
  void ShowMessage(const std::string& caption, const std::string& text,
                   kestra::MessageIcon icon) override {
    Log(icon == kestra::MessageIcon::Warning ? RETRO_LOG_WARN : RETRO_LOG_INFO,
        (caption + ": " + text).c_str());
  }
};

struct Core {
  LogMessages messages;
  std::unique_ptr<Emulator> emulator;
  Orientation orientation = Orientation::Auto;
  bool swapPads = false;
  int16_t audio[kAudioFrames * 2] = {};
  std::vector<uint32_t> turned;  // the picture turned to the wanted orientation
  std::vector<uint32_t> blank;   // before the first presented frame

  bool vertical() const {
    if (orientation == Orientation::Auto) {
      return emulator && emulator->loaded() && emulator->machine().cart.Vertical;
    }
    return orientation == Orientation::Vertical;
  }
};

Core* core;

std::string Variable(const char* key) {
  retro_variable v{key, nullptr};
  if (environ_cb && environ_cb(RETRO_ENVIRONMENT_GET_VARIABLE, &v) && v.value) return v.value;
  return {};
}

// The Y and X pads exchanged: the "swap pads" option.
uint16_t SwapPads(uint16_t keys) {
  return static_cast<uint16_t>((keys & 0xFF00) | (keys & 0x0F) << 4 | (keys >> 4 & 0x0F));
}

const char* KeyName(uint16_t key) {
  static constexpr const char* kNames[12] = {"Y1", "Y2", "Y3", "Y4", "X1", "X2",
                                             "X3", "X4", "Option", "Start", "A", "B"};
  for (int bit = 0; bit < 12; ++bit) {
    if (key == 1u << bit) return kNames[bit];
  }
  return "";
}

void SetInputDescriptors(bool vertical, bool swapPads) {
  const auto& table = vertical ? kVertical : kHorizontal;
  retro_input_descriptor descriptors[std::size(kHorizontal) + 1] = {};
  for (size_t i = 0; i < std::size(table); ++i) {
    const uint16_t key = swapPads ? SwapPads(table[i].key) : table[i].key;
    descriptors[i] = {0, RETRO_DEVICE_JOYPAD, 0, table[i].id, KeyName(key)};
  }
  if (environ_cb) environ_cb(RETRO_ENVIRONMENT_SET_INPUT_DESCRIPTORS, descriptors);
}

retro_game_geometry Geometry(bool vertical) {
  retro_game_geometry g{};
  g.base_width = vertical ? kLcdShort : kLcdLong;
  g.base_height = vertical ? kLcdLong : kLcdShort;
  g.max_width = kLcdLong;
  g.max_height = kLcdLong;
  g.aspect_ratio = vertical ? 9.0f / 14.0f : 14.0f / 9.0f;
  return g;
}

// Reads the core options; the orientation, once a game runs, tells the front
// end of a new geometry and new descriptors.
void ApplyVariables() {
  const bool wasVertical = core->vertical(), wasSwapped = core->swapPads;
  const std::string orientation = Variable("kestra_orientation");
  core->orientation = orientation == "horizontal" ? Orientation::Horizontal
                      : orientation == "vertical" ? Orientation::Vertical
                                                  : Orientation::Auto;
  core->swapPads = Variable("kestra_swap_pads") == "enabled";
  const std::string skip = Variable("kestra_frameskip");
  const int frameSkip = skip.size() == 1 && skip[0] >= '0' && skip[0] <= '4' ? skip[0] - '0' : 0;
  kestra::Settings& settings = core->emulator->machine().settings;
  settings.FrameSkip = frameSkip;
  for (int k = 0; k < kestra::SoundSwitchCount; ++k) {
    settings.setSound(static_cast<kestra::SoundSwitch>(k), Variable(kChannelKeys[k]) != "disabled");
  }
  if (!core->emulator->loaded()) return;
  if (core->vertical() != wasVertical) {
    const retro_game_geometry g = Geometry(core->vertical());
    environ_cb(RETRO_ENVIRONMENT_SET_GEOMETRY, const_cast<retro_game_geometry*>(&g));
  }
  if (core->vertical() != wasVertical || core->swapPads != wasSwapped) {
    SetInputDescriptors(core->vertical(), core->swapPads);
  }
}

uint16_t PollKeys() {
  if (!input_poll_cb || !input_state_cb) return 0;
  input_poll_cb();
  uint16_t keys = 0;
  const auto& table = core->vertical() ? kVertical : kHorizontal;
  for (const Binding& b : table) {
    if (input_state_cb(0, RETRO_DEVICE_JOYPAD, 0, b.id)) keys |= b.key;
  }
  return core->swapPads ? SwapPads(keys) : keys;
}

// The last presented picture in the wanted orientation. The emulator's own is
// already turned for a vertical cartridge (144 x 224, the console's top at
// the left); a forced orientation turns it here.
void SendPicture() {
  const Emulator::Frame f = core->emulator->LastFrame();
  const bool wanted = core->vertical();
  const unsigned width = wanted ? kLcdShort : kLcdLong;
  const unsigned height = wanted ? kLcdLong : kLcdShort;
  if (!f.pixels) {
    core->blank.assign(static_cast<size_t>(width) * height, 0);
    video_cb(core->blank.data(), width, height, width * sizeof(uint32_t));
    return;
  }
  const bool turned = f.width == kLcdShort;
  if (turned == wanted) {
    video_cb(f.pixels, static_cast<unsigned>(f.width), static_cast<unsigned>(f.height),
             static_cast<size_t>(f.pitch) * sizeof(uint32_t));
    return;
  }
  std::vector<uint32_t>& out = core->turned;
  out.resize(static_cast<size_t>(width) * height);
  if (wanted) {
    // Sideways to upright, as the renderer turns it: (x, y) -> (y, 223 - x).
    for (int y = 0; y < f.height; ++y) {
      for (int x = 0; x < f.width; ++x) {
        out[static_cast<size_t>(kLcdLong - 1 - x) * width + y] = f.pixels[y * f.pitch + x];
      }
    }
  } else {
    // Upright back to sideways: (col, row) -> (223 - row, col).
    for (int row = 0; row < f.height; ++row) {
      for (int col = 0; col < f.width; ++col) {
        out[static_cast<size_t>(col) * width + (kLcdLong - 1 - row)] = f.pixels[row * f.pitch + col];
      }
    }
  }
  video_cb(out.data(), width, height, width * sizeof(uint32_t));
}

void SendSound() {
  core->emulator->MixFrame(core->audio);
  if (!audio_batch_cb) return;
  size_t sent = 0;
  // A front end may take fewer frames than offered; give it the rest.
  for (int tries = 0; sent < kAudioFrames && tries < 8; ++tries) {
    sent += audio_batch_cb(core->audio + 2 * sent, kAudioFrames - sent);
  }
}

// A fresh emulator with its outputs open, as kestra-headless starts one: a
// cartridge then plays the same whatever ran before it (the mixer's buffers
// and the display's last picture start empty).
void NewEmulator() {
  core->emulator.reset();
  kestra::EmulatorHost host;
  host.messages = &core->messages;
  core->emulator = std::make_unique<Emulator>(host);
  // Every frame drawn unless the option asks otherwise.
  core->emulator->machine().settings.FrameSkip = 0;
  core->emulator->OpenSound();
  core->emulator->OpenDisplay();
}

}  // namespace

extern "C" {

RETRO_API void retro_set_environment(retro_environment_t cb) {
  environ_cb = cb;
  cb(RETRO_ENVIRONMENT_SET_VARIABLES, const_cast<retro_variable*>(kVariables));
  retro_log_callback logging{};
  log_cb = cb(RETRO_ENVIRONMENT_GET_LOG_INTERFACE, &logging) ? logging.log : nullptr;
}

RETRO_API void retro_set_video_refresh(retro_video_refresh_t cb) { video_cb = cb; }
RETRO_API void retro_set_audio_sample(retro_audio_sample_t) {}
RETRO_API void retro_set_audio_sample_batch(retro_audio_sample_batch_t cb) { audio_batch_cb = cb; }
RETRO_API void retro_set_input_poll(retro_input_poll_t cb) { input_poll_cb = cb; }
RETRO_API void retro_set_input_state(retro_input_state_t cb) { input_state_cb = cb; }

RETRO_API void retro_init(void) {
  if (core) return;
  core = new Core;
  NewEmulator();
}

RETRO_API void retro_deinit(void) {
  delete core;
  core = nullptr;
}

RETRO_API unsigned retro_api_version(void) { return RETRO_API_VERSION; }

RETRO_API void retro_get_system_info(retro_system_info* info) {
  std::memset(info, 0, sizeof *info);
  info->library_name = "Kestra";
  info->library_version = KESTRA_VERSION;
  info->valid_extensions = "ws|wsc";
  info->need_fullpath = false;
  info->block_extract = false;
}

RETRO_API void retro_get_system_av_info(retro_system_av_info* info) {
  std::memset(info, 0, sizeof *info);
  const bool vertical = core && core->vertical();
  info->geometry = Geometry(vertical);
  info->timing.fps = kFps;
  info->timing.sample_rate = kSampleRate;
}

RETRO_API void retro_set_controller_port_device(unsigned, unsigned) {}

RETRO_API void retro_reset(void) {
  if (core && core->emulator) core->emulator->Reset();
}

RETRO_API void retro_run(void) {
  if (!core || !core->emulator->loaded()) return;
  bool updated = false;
  if (environ_cb && environ_cb(RETRO_ENVIRONMENT_GET_VARIABLE_UPDATE, &updated) && updated) {
    ApplyVariables();
  }
  core->emulator->RunFrame(PollKeys());
  SendSound();
  if (video_cb) SendPicture();
}

// Save states are the emulator's raw snapshot, uncompressed: the same size
// all along for a cartridge, as front ends (and their rewind) expect.
RETRO_API size_t retro_serialize_size(void) {
  return core && core->emulator->loaded() ? core->emulator->StateSize() : 0;
}

RETRO_API bool retro_serialize(void* data, size_t size) {
  if (!core || !core->emulator->loaded() || !data) return false;
  if (size != core->emulator->StateSize()) return false;
  return core->emulator->SaveStateRaw({static_cast<uint8_t*>(data), size});
}

RETRO_API bool retro_unserialize(const void* data, size_t size) {
  if (!core || !core->emulator->loaded() || !data) return false;
  if (size != core->emulator->StateSize()) {
    Log(RETRO_LOG_ERROR, "state refused: not the size of this cartridge's states");
    return false;
  }
  std::string error;
  if (!core->emulator->LoadStateRaw({static_cast<const uint8_t*>(data), size}, error)) {
    Log(RETRO_LOG_ERROR, ("state refused: " + error).c_str());
    return false;
  }
  return true;
}

RETRO_API void retro_cheat_reset(void) {}
RETRO_API void retro_cheat_set(unsigned, bool, const char*) {}

RETRO_API bool retro_load_game(const retro_game_info* game) {
  if (!core || !game || !game->data || game->size == 0) {
    Log(RETRO_LOG_ERROR, "no cartridge image given");
    return false;
  }
  enum retro_pixel_format format = RETRO_PIXEL_FORMAT_XRGB8888;
  if (!environ_cb || !environ_cb(RETRO_ENVIRONMENT_SET_PIXEL_FORMAT, &format)) {
    Log(RETRO_LOG_ERROR, "the front end cannot take XRGB8888 pictures");
    return false;
  }
  NewEmulator();
  ApplyVariables();
  const std::span<const uint8_t> image(static_cast<const uint8_t*>(game->data), game->size);
  if (core->emulator->LoadImage(image) != 0) return false;
  core->emulator->StartVoice();
  SetInputDescriptors(core->vertical(), core->swapPads);
  return true;
}

RETRO_API bool retro_load_game_special(unsigned, const retro_game_info*, size_t) { return false; }

RETRO_API void retro_unload_game(void) {
  if (core) core->emulator->Unload();
}

RETRO_API unsigned retro_get_region(void) { return RETRO_REGION_NTSC; }

RETRO_API void* retro_get_memory_data(unsigned id) {
  if (!core || !core->emulator->loaded()) return nullptr;
  switch (id) {
    case RETRO_MEMORY_SAVE_RAM: {
      const std::span<uint8_t> save = core->emulator->saveMemory();
      return save.empty() ? nullptr : save.data();
    }
    case RETRO_MEMORY_SYSTEM_RAM: return core->emulator->machine().mem.Iram;
    default: return nullptr;
  }
}

RETRO_API size_t retro_get_memory_size(unsigned id) {
  if (!core || !core->emulator->loaded()) return 0;
  switch (id) {
    case RETRO_MEMORY_SAVE_RAM: return core->emulator->saveMemory().size();
    case RETRO_MEMORY_SYSTEM_RAM: return sizeof core->emulator->machine().mem.Iram;
    default: return 0;
  }
}

}  // extern "C"
