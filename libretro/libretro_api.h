// The part of the libretro API (version 1) this core uses, declared from the
// interface's published values: the entry points a front end looks up in the
// core, the structures they pass and the constants with their ABI numbers.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RETRO_API_VERSION 1

// Environment commands (the core asks, the front end answers true when it can).
#define RETRO_ENVIRONMENT_SET_ROTATION 1             // const unsigned*: quarter turns left
#define RETRO_ENVIRONMENT_SET_PIXEL_FORMAT 10        // const enum retro_pixel_format*
#define RETRO_ENVIRONMENT_SET_INPUT_DESCRIPTORS 11   // const struct retro_input_descriptor*
#define RETRO_ENVIRONMENT_GET_VARIABLE 15            // struct retro_variable*
#define RETRO_ENVIRONMENT_SET_VARIABLES 16           // const struct retro_variable*
#define RETRO_ENVIRONMENT_GET_VARIABLE_UPDATE 17     // bool*
#define RETRO_ENVIRONMENT_GET_LOG_INTERFACE 27       // struct retro_log_callback*
#define RETRO_ENVIRONMENT_SET_GEOMETRY 37            // const struct retro_game_geometry*

enum retro_pixel_format {
  RETRO_PIXEL_FORMAT_0RGB1555 = 0,
  RETRO_PIXEL_FORMAT_XRGB8888 = 1,
  RETRO_PIXEL_FORMAT_RGB565 = 2,
  RETRO_PIXEL_FORMAT_UNKNOWN = INT32_MAX
};

#define RETRO_DEVICE_NONE 0
#define RETRO_DEVICE_JOYPAD 1

// The RetroPad's buttons.
#define RETRO_DEVICE_ID_JOYPAD_B 0
#define RETRO_DEVICE_ID_JOYPAD_Y 1
#define RETRO_DEVICE_ID_JOYPAD_SELECT 2
#define RETRO_DEVICE_ID_JOYPAD_START 3
#define RETRO_DEVICE_ID_JOYPAD_UP 4
#define RETRO_DEVICE_ID_JOYPAD_DOWN 5
#define RETRO_DEVICE_ID_JOYPAD_LEFT 6
#define RETRO_DEVICE_ID_JOYPAD_RIGHT 7
#define RETRO_DEVICE_ID_JOYPAD_A 8
#define RETRO_DEVICE_ID_JOYPAD_X 9
#define RETRO_DEVICE_ID_JOYPAD_L 10
#define RETRO_DEVICE_ID_JOYPAD_R 11
#define RETRO_DEVICE_ID_JOYPAD_L2 12
#define RETRO_DEVICE_ID_JOYPAD_R2 13
#define RETRO_DEVICE_ID_JOYPAD_L3 14
#define RETRO_DEVICE_ID_JOYPAD_R3 15

#define RETRO_MEMORY_SAVE_RAM 0
#define RETRO_MEMORY_RTC 1
#define RETRO_MEMORY_SYSTEM_RAM 2
#define RETRO_MEMORY_VIDEO_RAM 3

#define RETRO_REGION_NTSC 0
#define RETRO_REGION_PAL 1

enum retro_log_level {
  RETRO_LOG_DEBUG = 0,
  RETRO_LOG_INFO = 1,
  RETRO_LOG_WARN = 2,
  RETRO_LOG_ERROR = 3,
  RETRO_LOG_DUMMY = INT32_MAX
};

typedef void (*retro_log_printf_t)(enum retro_log_level level, const char* fmt, ...);

struct retro_log_callback {
  retro_log_printf_t log;
};

struct retro_system_info {
  const char* library_name;
  const char* library_version;
  const char* valid_extensions;  // "ext|ext", without dots
  bool need_fullpath;            // false: the image comes in memory
  bool block_extract;
};

struct retro_game_geometry {
  unsigned base_width;
  unsigned base_height;
  unsigned max_width;
  unsigned max_height;
  float aspect_ratio;  // 0 or less: width / height
};

struct retro_system_timing {
  double fps;
  double sample_rate;
};

struct retro_system_av_info {
  struct retro_game_geometry geometry;
  struct retro_system_timing timing;
};

struct retro_game_info {
  const char* path;
  const void* data;
  size_t size;
  const char* meta;
};

struct retro_variable {
  const char* key;
  const char* value;  // SET: "Description; first|second|..."; GET: the value chosen
};

struct retro_input_descriptor {
  unsigned port;
  unsigned device;
  unsigned index;
  unsigned id;
  const char* description;  // null ends the list
};

typedef bool (*retro_environment_t)(unsigned cmd, void* data);
typedef void (*retro_video_refresh_t)(const void* data, unsigned width, unsigned height,
                                      size_t pitch);
typedef void (*retro_audio_sample_t)(int16_t left, int16_t right);
typedef size_t (*retro_audio_sample_batch_t)(const int16_t* data, size_t frames);
typedef void (*retro_input_poll_t)(void);
typedef int16_t (*retro_input_state_t)(unsigned port, unsigned device, unsigned index,
                                       unsigned id);

#if defined(_WIN32)
#define RETRO_API __declspec(dllexport)
#else
#define RETRO_API __attribute__((visibility("default")))
#endif

RETRO_API void retro_set_environment(retro_environment_t);
RETRO_API void retro_set_video_refresh(retro_video_refresh_t);
RETRO_API void retro_set_audio_sample(retro_audio_sample_t);
RETRO_API void retro_set_audio_sample_batch(retro_audio_sample_batch_t);
RETRO_API void retro_set_input_poll(retro_input_poll_t);
RETRO_API void retro_set_input_state(retro_input_state_t);
RETRO_API void retro_init(void);
RETRO_API void retro_deinit(void);
RETRO_API unsigned retro_api_version(void);
RETRO_API void retro_get_system_info(struct retro_system_info* info);
RETRO_API void retro_get_system_av_info(struct retro_system_av_info* info);
RETRO_API void retro_set_controller_port_device(unsigned port, unsigned device);
RETRO_API void retro_reset(void);
RETRO_API void retro_run(void);
RETRO_API size_t retro_serialize_size(void);
RETRO_API bool retro_serialize(void* data, size_t size);
RETRO_API bool retro_unserialize(const void* data, size_t size);
RETRO_API void retro_cheat_reset(void);
RETRO_API void retro_cheat_set(unsigned index, bool enabled, const char* code);
RETRO_API bool retro_load_game(const struct retro_game_info* game);
RETRO_API bool retro_load_game_special(unsigned game_type, const struct retro_game_info* info,
                                       size_t num_info);
RETRO_API void retro_unload_game(void);
RETRO_API unsigned retro_get_region(void);
RETRO_API void* retro_get_memory_data(unsigned id);
RETRO_API size_t retro_get_memory_size(unsigned id);

#ifdef __cplusplus
}
#endif
