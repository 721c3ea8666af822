// kestra_libretro.so as a front end sees it: loaded with dlopen, driven
// through the retro_* entry points only, and its pictures, sound, save
// memory and RAM checked against the headless runner (the code behind
// kestra-headless) running the same cartridge for the same frames.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "libretro_api.h"
#include "runner.h"
#include "support/test_support.h"

namespace kestra::test {
namespace {

// What the test front end keeps of the core's calls.
struct FrontEnd {
  std::map<std::string, std::string> variables;  // the value chosen for each option
  std::vector<std::string> declared;             // keys the core declared
  bool variablesChanged = false;
  int pixelFormat = -1;
  int descriptorCount = 0;
  std::vector<unsigned> descriptorIds;
  std::map<unsigned, std::string> descriptions;  // RetroPad button -> console key
  retro_game_geometry geometry{};
  int geometryCalls = 0;
  uint32_t pad = 0;  // RetroPad buttons held, bit = id
  std::vector<uint32_t> picture;
  unsigned width = 0, height = 0;
  int pictures = 0;
  std::vector<int16_t> sound;
};

FrontEnd* front;

bool Environment(unsigned cmd, void* data) {
  switch (cmd) {
    case RETRO_ENVIRONMENT_SET_VARIABLES:
      for (auto* v = static_cast<const retro_variable*>(data); v->key; ++v) {
        front->declared.push_back(v->key);
      }
      return true;
    case RETRO_ENVIRONMENT_GET_VARIABLE: {
      auto* v = static_cast<retro_variable*>(data);
      const auto it = front->variables.find(v->key);
      v->value = it == front->variables.end() ? nullptr : it->second.c_str();
      return v->value != nullptr;
    }
    case RETRO_ENVIRONMENT_GET_VARIABLE_UPDATE:
      *static_cast<bool*>(data) = front->variablesChanged;
      front->variablesChanged = false;
      return true;
    case RETRO_ENVIRONMENT_SET_PIXEL_FORMAT:
      front->pixelFormat = *static_cast<const int*>(data);
      return true;
    case RETRO_ENVIRONMENT_SET_INPUT_DESCRIPTORS: {
      front->descriptorIds.clear();
      front->descriptions.clear();
      for (auto* d = static_cast<const retro_input_descriptor*>(data); d->description; ++d) {
        front->descriptorIds.push_back(d->id);
        front->descriptions[d->id] = d->description;
      }
      front->descriptorCount = static_cast<int>(front->descriptorIds.size());
      return true;
    }
    case RETRO_ENVIRONMENT_SET_GEOMETRY:
      front->geometry = *static_cast<const retro_game_geometry*>(data);
      ++front->geometryCalls;
      return true;
    default:
      return false;
  }
}

void VideoRefresh(const void* data, unsigned width, unsigned height, size_t pitch) {
  ++front->pictures;
  front->width = width;
  front->height = height;
  front->picture.resize(static_cast<size_t>(width) * height);
  for (unsigned y = 0; y < height; ++y) {
    std::memcpy(&front->picture[static_cast<size_t>(y) * width],
                static_cast<const uint8_t*>(data) + y * pitch, width * sizeof(uint32_t));
  }
}

size_t AudioBatch(const int16_t* data, size_t frames) {
  // Takes at most 500 frames a call: the core must hand over the rest.
  const size_t taken = frames < 500 ? frames : 500;
  front->sound.insert(front->sound.end(), data, data + 2 * taken);
  return taken;
}

void InputPoll() {}

int16_t InputState(unsigned port, unsigned device, unsigned, unsigned id) {
  if (port != 0 || device != RETRO_DEVICE_JOYPAD || id > 15) return 0;
  return (front->pad >> id) & 1;
}

// The core's entry points, looked up as a front end does.
struct Core {
  void* handle = nullptr;
#define ENTRY(name) decltype(&::name) name = nullptr
  ENTRY(retro_set_environment);
  ENTRY(retro_set_video_refresh);
  ENTRY(retro_set_audio_sample_batch);
  ENTRY(retro_set_input_poll);
  ENTRY(retro_set_input_state);
  ENTRY(retro_init);
  ENTRY(retro_deinit);
  ENTRY(retro_api_version);
  ENTRY(retro_get_system_info);
  ENTRY(retro_get_system_av_info);
  ENTRY(retro_reset);
  ENTRY(retro_run);
  ENTRY(retro_serialize_size);
  ENTRY(retro_serialize);
  ENTRY(retro_unserialize);
  ENTRY(retro_load_game);
  ENTRY(retro_unload_game);
  ENTRY(retro_get_memory_data);
  ENTRY(retro_get_memory_size);
#undef ENTRY

  bool Open() {
    handle = dlopen(KESTRA_LIBRETRO_CORE, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
    bool ok = true;
#define LOOK_UP(name) \
  ok &= (name = reinterpret_cast<decltype(name)>(dlsym(handle, #name))) != nullptr
    LOOK_UP(retro_set_environment);
    LOOK_UP(retro_set_video_refresh);
    LOOK_UP(retro_set_audio_sample_batch);
    LOOK_UP(retro_set_input_poll);
    LOOK_UP(retro_set_input_state);
    LOOK_UP(retro_init);
    LOOK_UP(retro_deinit);
    LOOK_UP(retro_api_version);
    LOOK_UP(retro_get_system_info);
    LOOK_UP(retro_get_system_av_info);
    LOOK_UP(retro_reset);
    LOOK_UP(retro_run);
    LOOK_UP(retro_serialize_size);
    LOOK_UP(retro_serialize);
    LOOK_UP(retro_unserialize);
    LOOK_UP(retro_load_game);
    LOOK_UP(retro_unload_game);
    LOOK_UP(retro_get_memory_data);
    LOOK_UP(retro_get_memory_size);
#undef LOOK_UP
    return ok;
  }
};

Core api;

class LibretroCore : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(api.Open()) << dlerror(); }

  void SetUp() override {
    front = &state;
    api.retro_set_environment(Environment);
    api.retro_set_video_refresh(VideoRefresh);
    api.retro_set_audio_sample_batch(AudioBatch);
    api.retro_set_input_poll(InputPoll);
    api.retro_set_input_state(InputState);
    api.retro_init();
  }
  void TearDown() override {
    api.retro_unload_game();
    api.retro_deinit();
    front = nullptr;
  }

  bool Load(const std::string& rom) {
    image = ReadFile(RomPath(rom));
    return LoadBytes(image);
  }
  bool LoadBytes(const std::vector<uint8_t>& bytes) {
    retro_game_info info{"", bytes.data(), bytes.size(), nullptr};
    return api.retro_load_game(&info);
  }
  void Run(int frames) {
    for (int i = 0; i < frames; ++i) api.retro_run();
  }
  void SetOption(const std::string& key, const std::string& value) {
    state.variables[key] = value;
    state.variablesChanged = true;
  }

  FrontEnd state;
  std::vector<uint8_t> image;
};

// The same cartridge through the headless runner.
struct Reference {
  std::vector<uint32_t> picture;
  int width = 0, height = 0;
  std::vector<int16_t> sound;
  std::vector<uint8_t> iram;
  std::vector<uint8_t> save;
};

struct ReferenceSetup {
  std::vector<headless::KeyChange> keys;
  int frameSkip = 0;
  SoundSwitch silenced = SoundSwitchCount;  // none
  std::vector<uint8_t> save;  // the .sav beside the image, if any
};

// The samples of the WAV file kestra-headless writes: the "data" chunk.
std::vector<int16_t> WavSamples(const std::vector<uint8_t>& wav) {
  for (size_t at = 12; at + 8 <= wav.size();) {
    const uint32_t size = wav[at + 4] | wav[at + 5] << 8 | wav[at + 6] << 16 | uint32_t(wav[at + 7]) << 24;
    if (std::memcmp(&wav[at], "data", 4) == 0) {
      std::vector<int16_t> samples(size / 2);
      std::memcpy(samples.data(), &wav[at + 8], samples.size() * 2);
      return samples;
    }
    at += 8 + size;
  }
  return {};
}

Reference RunReference(const std::string& rom, int frames, const ReferenceSetup& setup = {}) {
  TempDir dir;
  headless::HeadlessOptions options;
  options.image = RomPath(rom);
  options.frames = frames;
  options.frameSkip = setup.frameSkip;
  options.keys = setup.keys;
  options.wav = dir.file("sound.wav");
  // The image's own .sav must stay untouched: run a copy.
  WriteFile(dir.file(rom), ReadFile(options.image));
  options.image = dir.file(rom);
  if (!setup.save.empty()) WriteFile(dir.file(rom.substr(0, rom.find('.')) + ".sav"), setup.save);
  Reference r;
  {
    headless::HeadlessRun run(options);
    if (setup.silenced != SoundSwitchCount) {
      run.emulator().machine().settings.setSound(setup.silenced, false);
    }
    if (run.Load() != 0) return r;
    run.RunFrames(frames);
    const Emulator::Frame f = run.emulator().LastFrame();
    if (f.pixels) {
      r.width = f.width;
      r.height = f.height;
      for (int y = 0; y < f.height; ++y) {
        r.picture.insert(r.picture.end(), f.pixels + y * f.pitch, f.pixels + y * f.pitch + f.width);
      }
    }
    const Machine& m = run.emulator().machine();
    r.iram.assign(m.mem.Iram, m.mem.Iram + sizeof m.mem.Iram);
    const std::span<uint8_t> save = run.emulator().saveMemory();
    r.save.assign(save.begin(), save.end());
    run.WriteOutputs();
  }
  r.sound = WavSamples(ReadFile(options.wav));
  return r;
}

// More than one colour, so that two equal pictures mean something.
bool HasContent(const std::vector<uint32_t>& picture) {
  for (uint32_t p : picture) {
    if (p != picture.front()) return true;
  }
  return false;
}

// The demos' title waits for Start: pressed at frame 200 for six frames.
const std::vector<headless::KeyChange> kPressStart = {{200, 0x200}, {206, 0}};
constexpr int kSceneFrame = 220;  // the scene is up and the keys line shows

void PlayToScene() {
  for (int frame = 0; frame < kSceneFrame; ++frame) {
    front->pad = frame >= 200 && frame < 206 ? 1u << RETRO_DEVICE_ID_JOYPAD_START : 0;
    api.retro_run();
  }
  front->pad = 0;
}

TEST_F(LibretroCore, DescribesItselfAndItsOptions) {
  EXPECT_EQ(api.retro_api_version(), 1u);
  retro_system_info info{};
  api.retro_get_system_info(&info);
  EXPECT_STREQ(info.library_name, "Kestra");
  EXPECT_STREQ(info.valid_extensions, "ws|wsc");
  EXPECT_FALSE(info.need_fullpath);
  ASSERT_NE(info.library_version, nullptr);
  EXPECT_GT(std::strlen(info.library_version), 0u);

  ASSERT_TRUE(Load("demo.wsc"));
  EXPECT_EQ(state.pixelFormat, RETRO_PIXEL_FORMAT_XRGB8888);
  EXPECT_EQ(state.descriptorCount, 12);
  retro_system_av_info av{};
  api.retro_get_system_av_info(&av);
  EXPECT_EQ(av.geometry.base_width, 224u);
  EXPECT_EQ(av.geometry.base_height, 144u);
  EXPECT_EQ(av.geometry.max_width, 224u);
  EXPECT_EQ(av.geometry.max_height, 224u);
  EXPECT_FLOAT_EQ(av.geometry.aspect_ratio, 14.0f / 9.0f);
  EXPECT_DOUBLE_EQ(av.timing.fps, 3072000.0 / (256 * 159));
  EXPECT_DOUBLE_EQ(av.timing.sample_rate, 48000.0);
  for (const char* key : {"kestra_channel1", "kestra_channel2", "kestra_channel3",
                          "kestra_channel4", "kestra_noise", "kestra_pcm", "kestra_dma",
                          "kestra_orientation", "kestra_swap_pads", "kestra_frameskip"}) {
    EXPECT_NE(std::find(state.declared.begin(), state.declared.end(), key), state.declared.end())
        << key;
  }
}

// Picture, sound, RAM and save memory frame for frame as kestra-headless.
TEST_F(LibretroCore, RunsAsTheHeadlessRunner) {
  constexpr int kFrames = 150;
  struct Cartridge {
    std::string rom;
    bool drawn;  // a picture of more than one colour by then
  };
  // Colour and mono, sideways and upright, save RAM, EEPROM and none.
  for (const auto& [rom, drawn] :
       {Cartridge{"demo.wsc", true}, Cartridge{"bench.wsc", true},
        Cartridge{"video_mono2bit.ws", true}, Cartridge{"video_vertical.ws", true},
        Cartridge{"soundcheck.ws", false}, Cartridge{"eeprom.ws", false},
        Cartridge{"hello.ws", false}, Cartridge{"cpu_alu.ws", false}}) {
    SCOPED_TRACE(rom);
    state = FrontEnd{};
    ASSERT_TRUE(Load(rom));
    Run(kFrames);
    const Reference ref = RunReference(rom, kFrames);
    ASSERT_EQ(state.pictures, kFrames);
    ASSERT_EQ(state.width, static_cast<unsigned>(ref.width));
    ASSERT_EQ(state.height, static_cast<unsigned>(ref.height));
    EXPECT_EQ(HasContent(ref.picture), drawn);
    EXPECT_TRUE(state.picture == ref.picture);
    ASSERT_EQ(ref.sound.size(), static_cast<size_t>(kFrames) * 636 * 2);
    EXPECT_TRUE(state.sound == ref.sound);
    ASSERT_EQ(api.retro_get_memory_size(RETRO_MEMORY_SYSTEM_RAM), 0x10000u);
    const auto* ram = static_cast<const uint8_t*>(api.retro_get_memory_data(RETRO_MEMORY_SYSTEM_RAM));
    ASSERT_NE(ram, nullptr);
    EXPECT_TRUE(std::equal(ref.iram.begin(), ref.iram.end(), ram));
    const size_t saveSize = api.retro_get_memory_size(RETRO_MEMORY_SAVE_RAM);
    ASSERT_EQ(saveSize, ref.save.size());
    if (saveSize) {
      const auto* save = static_cast<const uint8_t*>(api.retro_get_memory_data(RETRO_MEMORY_SAVE_RAM));
      ASSERT_NE(save, nullptr);
      EXPECT_TRUE(std::equal(ref.save.begin(), ref.save.end(), save));
    } else {
      EXPECT_EQ(api.retro_get_memory_data(RETRO_MEMORY_SAVE_RAM), nullptr);
    }
    api.retro_unload_game();
  }
}

TEST_F(LibretroCore, SoundAndFrameSkipOptionsReachTheMachine) {
  constexpr int kFrames = 90;  // frame skip 3 does not draw frame 90
  // The demo's tune plays on the channels; silencing one changes the sound
  // exactly as the machine's own switch does.
  ASSERT_TRUE(Load("demo.wsc"));
  SetOption("kestra_channel1", "disabled");
  Run(kFrames);
  ReferenceSetup silenced;
  silenced.silenced = Sound1;
  const Reference quiet = RunReference("demo.wsc", kFrames, silenced);
  const Reference full = RunReference("demo.wsc", kFrames);
  EXPECT_TRUE(state.sound == quiet.sound);
  EXPECT_FALSE(quiet.sound == full.sound);
  api.retro_unload_game();

  state = FrontEnd{};
  state.variables["kestra_frameskip"] = "3";
  ASSERT_TRUE(Load("demo.wsc"));
  Run(kFrames);
  ReferenceSetup skipping;
  skipping.frameSkip = 3;
  const Reference skipped = RunReference("demo.wsc", kFrames, skipping);
  const Reference every = RunReference("demo.wsc", kFrames);
  EXPECT_TRUE(state.picture == skipped.picture);
  EXPECT_FALSE(skipped.picture == every.picture);
}

// Each RetroPad button as the console key it stands for, both ways round:
// the demo lights every key it sees held, so each key changes the picture.
TEST_F(LibretroCore, PadButtonsAreTheConsoleKeys) {
  struct Case {
    unsigned id;
    uint16_t mask;
  };
  const Case sideways[] = {
      {RETRO_DEVICE_ID_JOYPAD_UP, 0x010},   {RETRO_DEVICE_ID_JOYPAD_RIGHT, 0x020},
      {RETRO_DEVICE_ID_JOYPAD_DOWN, 0x040}, {RETRO_DEVICE_ID_JOYPAD_LEFT, 0x080},
      {RETRO_DEVICE_ID_JOYPAD_L2, 0x001},   {RETRO_DEVICE_ID_JOYPAD_R, 0x002},
      {RETRO_DEVICE_ID_JOYPAD_R2, 0x004},   {RETRO_DEVICE_ID_JOYPAD_L, 0x008},
      {RETRO_DEVICE_ID_JOYPAD_A, 0x400},    {RETRO_DEVICE_ID_JOYPAD_B, 0x800},
      {RETRO_DEVICE_ID_JOYPAD_START, 0x200}, {RETRO_DEVICE_ID_JOYPAD_SELECT, 0x100}};
  const Case upright[] = {
      {RETRO_DEVICE_ID_JOYPAD_LEFT, 0x001}, {RETRO_DEVICE_ID_JOYPAD_UP, 0x002},
      {RETRO_DEVICE_ID_JOYPAD_RIGHT, 0x004}, {RETRO_DEVICE_ID_JOYPAD_DOWN, 0x008},
      {RETRO_DEVICE_ID_JOYPAD_Y, 0x010},    {RETRO_DEVICE_ID_JOYPAD_X, 0x020},
      {RETRO_DEVICE_ID_JOYPAD_A, 0x040},    {RETRO_DEVICE_ID_JOYPAD_B, 0x080},
      {RETRO_DEVICE_ID_JOYPAD_R, 0x400},    {RETRO_DEVICE_ID_JOYPAD_L, 0x800},
      {RETRO_DEVICE_ID_JOYPAD_START, 0x200}, {RETRO_DEVICE_ID_JOYPAD_SELECT, 0x100}};
  constexpr int kFrames = kSceneFrame + 20;  // the key held for the last 20
  struct Way {
    const char* rom;
    const Case* cases;
    bool swap;
  };
  for (const Way way : {Way{"demo.wsc", sideways, false}, Way{"demo-vertical.wsc", upright, false},
                        Way{"demo.wsc", sideways, true}}) {
    ReferenceSetup idleSetup;
    idleSetup.keys = kPressStart;
    const Reference idle = RunReference(way.rom, kFrames, idleSetup);
    for (int i = 0; i < 12; ++i) {
      const Case c = way.cases[i];
      uint16_t mask = c.mask;
      if (way.swap) mask = static_cast<uint16_t>((mask & 0xF00) | (mask & 0xF) << 4 | (mask >> 4 & 0xF));
      SCOPED_TRACE(std::string(way.rom) + (way.swap ? " swapped" : "") + " button " +
                   std::to_string(c.id));
      state = FrontEnd{};
      if (way.swap) state.variables["kestra_swap_pads"] = "enabled";
      ASSERT_TRUE(Load(way.rom));
      static constexpr const char* kNames[12] = {"Y1", "Y2", "Y3", "Y4", "X1", "X2",
                                                 "X3", "X4", "Option", "Start", "A", "B"};
      EXPECT_EQ(state.descriptions[c.id], kNames[std::countr_zero(mask)]);
      PlayToScene();
      state.pad = 1u << c.id;
      Run(kFrames - kSceneFrame);
      ReferenceSetup held;
      held.keys = kPressStart;
      held.keys.push_back({kSceneFrame, mask});
      const Reference ref = RunReference(way.rom, kFrames, held);
      EXPECT_TRUE(state.picture == ref.picture);
      EXPECT_FALSE(ref.picture == idle.picture);
      api.retro_unload_game();
    }
  }
}

// An upright cartridge comes upright (144 x 224) as the emulator turns it;
// the orientation option turns the picture back sideways, and the front end
// hears of the new geometry.
TEST_F(LibretroCore, UprightCartridgesAndTheOrientationOption) {
  constexpr int kFrames = 60;
  ASSERT_TRUE(Load("demo-vertical.wsc"));
  retro_system_av_info av{};
  api.retro_get_system_av_info(&av);
  EXPECT_EQ(av.geometry.base_width, 144u);
  EXPECT_EQ(av.geometry.base_height, 224u);
  EXPECT_FLOAT_EQ(av.geometry.aspect_ratio, 9.0f / 14.0f);
  Run(kFrames);
  const Reference ref = RunReference("demo-vertical.wsc", kFrames);
  ASSERT_EQ(ref.width, 144);
  ASSERT_EQ(ref.height, 224);
  EXPECT_EQ(state.width, 144u);
  EXPECT_TRUE(HasContent(ref.picture));
  EXPECT_TRUE(state.picture == ref.picture);

  SetOption("kestra_orientation", "horizontal");
  api.retro_run();
  ASSERT_EQ(state.geometryCalls, 1);
  EXPECT_EQ(state.geometry.base_width, 224u);
  EXPECT_EQ(state.geometry.base_height, 144u);
  ASSERT_EQ(state.width, 224u);
  ASSERT_EQ(state.height, 144u);
  const Reference next = RunReference("demo-vertical.wsc", kFrames + 1);
  // Sideways pixel (x, y) is upright pixel (y, 223 - x).
  bool same = true;
  for (int y = 0; y < 144; ++y) {
    for (int x = 0; x < 224; ++x) {
      same &= state.picture[y * 224 + x] == next.picture[(223 - x) * 144 + y];
    }
  }
  EXPECT_TRUE(same);
  api.retro_unload_game();

  // Forced sideways, an upright cartridge takes the sideways pad: the
  // D-pad's up is X1.
  state = FrontEnd{};
  state.variables["kestra_orientation"] = "horizontal";
  ASSERT_TRUE(Load("demo-vertical.wsc"));
  PlayToScene();
  state.pad = 1u << RETRO_DEVICE_ID_JOYPAD_UP;
  Run(10);
  ReferenceSetup held;
  held.keys = kPressStart;
  held.keys.push_back({kSceneFrame, 0x010});
  const Reference pressed = RunReference("demo-vertical.wsc", kSceneFrame + 10, held);
  held.keys.back().mask = 0x002;  // what the D-pad's up is held upright
  const Reference upright = RunReference("demo-vertical.wsc", kSceneFrame + 10, held);
  ASSERT_FALSE(pressed.picture == upright.picture);
  ASSERT_EQ(state.width, 224u);
  same = true;
  for (int y = 0; y < 144; ++y) {
    for (int x = 0; x < 224; ++x) {
      same &= state.picture[y * 224 + x] == pressed.picture[(223 - x) * 144 + y];
    }
  }
  EXPECT_TRUE(same);
  api.retro_unload_game();

  // Forced upright, a sideways cartridge turns the way the emulator would.
  state = FrontEnd{};
  state.variables["kestra_orientation"] = "vertical";
  ASSERT_TRUE(Load("demo.wsc"));
  api.retro_get_system_av_info(&av);
  EXPECT_EQ(av.geometry.base_width, 144u);
  Run(kFrames);
  const Reference flat = RunReference("demo.wsc", kFrames);
  ASSERT_EQ(state.width, 144u);
  same = true;
  for (int y = 0; y < 144; ++y) {
    for (int x = 0; x < 224; ++x) {
      same &= flat.picture[y * 224 + x] == state.picture[(223 - x) * 144 + y];
    }
  }
  EXPECT_TRUE(same);
}

TEST_F(LibretroCore, RefusesBrokenImagesAndRecovers) {
  const std::vector<uint8_t> good = ReadFile(RomPath("hello.ws"));
  ASSERT_FALSE(good.empty());
  const std::vector<uint8_t> tooShort(good.end() - 100, good.end());
  // ROM size code 5 stands for no size at all.
  std::vector<uint8_t> badFooterImage = good;
  const std::vector<uint8_t>& badFooter = badFooterImage;
  badFooterImage[badFooterImage.size() - 6] = 0x05;
  // A footer but not one whole 64 KB bank.
  const std::vector<uint8_t> partial(good.end() - 0xFFFF, good.end());
  for (const auto* bytes : {&tooShort, &badFooter, &partial}) {
    EXPECT_FALSE(LoadBytes(*bytes));
    api.retro_run();  // nothing loaded: nothing runs, nothing crashes
    EXPECT_EQ(api.retro_get_memory_data(RETRO_MEMORY_SYSTEM_RAM), nullptr);
  }
  retro_game_info none{"", nullptr, 0, nullptr};
  EXPECT_FALSE(api.retro_load_game(&none));
  EXPECT_FALSE(api.retro_load_game(nullptr));
  ASSERT_TRUE(LoadBytes(good));
  Run(30);
  EXPECT_EQ(state.pictures, 30);
  const Reference ref = RunReference("hello.ws", 30);
  EXPECT_TRUE(state.picture == ref.picture);
}

TEST_F(LibretroCore, ResetStartsTheCartridgeAgain) {
  constexpr int kFrames = 80;
  ASSERT_TRUE(Load("demo.wsc"));
  Run(kFrames);
  const std::vector<uint32_t> first = state.picture;
  api.retro_reset();
  Run(kFrames);
  // The demo's play timer runs from its reset: the same picture again.
  EXPECT_TRUE(state.picture == first);
  const Reference later = RunReference("demo.wsc", 2 * kFrames);
  EXPECT_FALSE(later.picture == first);
}

// The front end puts its .srm into save memory after the load and before the
// first frame: the game starts from it, as from a .sav beside the image.
TEST_F(LibretroCore, SaveMemoryFromTheFrontEndIsWhatTheGameReads) {
  ReferenceSetup played;
  played.keys = kPressStart;
  const Reference afterPlay = RunReference("demo.wsc", kSceneFrame + 60, played);
  const Reference fresh = RunReference("demo.wsc", kSceneFrame + 60);
  ASSERT_FALSE(afterPlay.save.empty());
  ASSERT_FALSE(afterPlay.save == fresh.save);  // the play was counted

  ASSERT_TRUE(Load("demo.wsc"));
  ASSERT_EQ(api.retro_get_memory_size(RETRO_MEMORY_SAVE_RAM), afterPlay.save.size());
  std::memcpy(api.retro_get_memory_data(RETRO_MEMORY_SAVE_RAM), afterPlay.save.data(),
              afterPlay.save.size());
  Run(120);
  ReferenceSetup saved;
  saved.save = afterPlay.save;
  const Reference ref = RunReference("demo.wsc", 120, saved);
  const Reference title = RunReference("demo.wsc", 120);
  EXPECT_TRUE(state.picture == ref.picture);
  EXPECT_FALSE(ref.picture == title.picture);  // the title shows the plays
}

// What a run shows frame by frame: a hash of each picture, and the sound.
struct Recording {
  std::vector<uint64_t> pictures;
  std::vector<int16_t> sound;
  bool operator==(const Recording&) const = default;
};

uint64_t Hash(const std::vector<uint32_t>& pixels) {
  uint64_t h = 1469598103934665603ull;
  for (uint32_t p : pixels) h = (h ^ p) * 1099511628211ull;
  return h;
}

// Frames with X2 and Y3 held every other 16 frames, so the kestrel moves.
Recording Record(int frames) {
  Recording r;
  front->sound.clear();
  for (int i = 0; i < frames; ++i) {
    front->pad = (i / 16) % 2 ? (1u << RETRO_DEVICE_ID_JOYPAD_RIGHT | 1u << RETRO_DEVICE_ID_JOYPAD_R2) : 0;
    api.retro_run();
    r.pictures.push_back(Hash(front->picture));
  }
  front->pad = 0;
  r.sound = front->sound;
  return r;
}

TEST_F(LibretroCore, StatesResumeTheRunExactly) {
  ASSERT_TRUE(Load("demo.wsc"));
  PlayToScene();
  const size_t size = api.retro_serialize_size();
  ASSERT_GT(size, 0x10000u);
  std::vector<uint8_t> state(size);
  ASSERT_TRUE(api.retro_serialize(state.data(), size));
  const Recording first = Record(300);
  std::vector<uint8_t> after(size);
  ASSERT_TRUE(api.retro_serialize(after.data(), size));
  EXPECT_EQ(api.retro_serialize_size(), size);  // the same size all along

  ASSERT_TRUE(api.retro_unserialize(state.data(), size));
  const Recording again = Record(300);
  EXPECT_EQ(again.pictures.size(), 300u);
  EXPECT_TRUE(again == first);
  std::vector<uint8_t> afterAgain(size);
  ASSERT_TRUE(api.retro_serialize(afterAgain.data(), size));
  EXPECT_TRUE(afterAgain == after);
  // The kestrel flew: the run is not one still picture.
  EXPECT_NE(first.pictures.front(), first.pictures.back());

  // Refusals change nothing: the run goes on as it would have.
  ASSERT_TRUE(api.retro_unserialize(state.data(), size));
  const Recording plain = Record(60);
  ASSERT_TRUE(api.retro_unserialize(state.data(), size));
  std::vector<uint8_t> longer = state;
  longer.push_back(0);
  EXPECT_FALSE(api.retro_unserialize(longer.data(), longer.size()));
  EXPECT_FALSE(api.retro_unserialize(state.data(), size - 1));
  EXPECT_FALSE(api.retro_serialize(longer.data(), longer.size()));
  EXPECT_FALSE(api.retro_serialize(state.data(), size - 1));
  std::vector<uint8_t> damaged = state;
  std::memset(damaged.data(), 0, 8);
  EXPECT_FALSE(api.retro_unserialize(damaged.data(), size));
  ASSERT_TRUE(api.retro_unserialize(state.data(), size));
  EXPECT_TRUE(Record(60) == plain);

  // Another cartridge's state.
  api.retro_unload_game();
  ASSERT_TRUE(Load("demo-vertical.wsc"));
  const size_t otherSize = api.retro_serialize_size();
  std::vector<uint8_t> other(otherSize);
  ASSERT_TRUE(api.retro_serialize(other.data(), otherSize));
  api.retro_unload_game();
  ASSERT_TRUE(Load("demo.wsc"));
  PlayToScene();
  ASSERT_TRUE(api.retro_unserialize(state.data(), size));
  EXPECT_FALSE(api.retro_unserialize(other.data(), otherSize));
  EXPECT_TRUE(Record(60) == plain);
}

TEST_F(LibretroCore, NoStatesWithoutAGame) {
  EXPECT_EQ(api.retro_serialize_size(), 0u);
  std::vector<uint8_t> buffer(1024);
  EXPECT_FALSE(api.retro_serialize(buffer.data(), buffer.size()));
  EXPECT_FALSE(api.retro_unserialize(buffer.data(), buffer.size()));
}

}  // namespace
}  // namespace kestra::test
