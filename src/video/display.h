// The display output: the FrameBuffer the renderer writes, its pixel format,
// the scale and orientation, and the presentation of finished frames through
// the platform's DisplayHost. Set-up failures are always reported, per-frame
// failures only with Verbose on; all in a box titled "WsDrawｴﾗｰ".
#pragma once

#include <cstdint>

#include "video/palette.h"

namespace kestra {

struct Machine;

constexpr int kLcdWidth = 224;
constexpr int kLcdHeight = 144;
constexpr int kStatusBarHeight = 20;

inline constexpr const char* kCaptionDrawError = "WsDrawｴﾗｰ";
inline constexpr const char* kMsgCannotCreateDisplay = "DDrawが作成できません";
inline constexpr const char* kMsgNoDisplayMode = "ﾃﾞｨｽﾌﾟﾚｲﾓｰﾄﾞを取得できません";
inline constexpr const char* kMsgCannotCreatePrimary = "ﾌﾟﾗｲﾏﾘｻｰﾌｪｰｽが作成できません";
inline constexpr const char* kMsgCannotCreateFrameBuffer = "ﾒｲﾝ領域ﾊﾞｯｸｻｰﾌｪｰｽが作成できません";
inline constexpr const char* kMsgBadDepth = "16ﾋﾞｯﾄ色以上32ﾋﾞｯﾄ色以下にして下さい";
inline constexpr const char* kMsgNoSurface = "ｻｰﾌｪｰｽがありません";
inline constexpr const char* kMsgNoFrameBuffer = "ﾊﾞｯｸｻｰﾌｪｰｽがありません";
inline constexpr const char* kMsgCannotBlitPrimary = "ﾌﾟﾗｲﾏﾘｻｰﾌｪｰｽにﾋﾞﾙﾄできません";
inline constexpr const char* kMsgCannotBlitFrameBuffer = "ﾊﾞｯｸｻｰﾌｪｰｽにﾋﾞﾙﾄできません";

struct DisplayMode {
  int bitsPerPixel = 0;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
};

// An image in host memory: row y starts at pixels + y * pitch.
struct Surface {
  uint8_t* pixels = nullptr;
  int pitch = 0;
};

// The platform side of the display output, bound to the main window's image
// area. Every operation may fail (false). Open, the Create* calls and Close
// run on the UI thread while no emulation thread runs; Present runs on the
// emulation thread and must not wait on painting (publish by a copy or a
// swap under a short lock, then ask for a repaint); ClearPrimary may come
// from either thread. The window paints the published image at the image
// area's top-left, scale times its size, nearest neighbour.
class DisplayHost {
 public:
  virtual ~DisplayHost() = default;
  // The display object for the window (a screen to show on).
  virtual bool Open() = 0;
  virtual bool QueryDisplayMode(DisplayMode& mode) = 0;
  // The published image, width x height pixels before scaling, blank.
  virtual bool CreatePrimary(int width, int height, int scale) = 0;
  // The FrameBuffer: width x height pixels of bytesPerPixel bytes, owned by
  // the host until Close.
  virtual bool CreateFrameBuffer(int width, int height, int bytesPerPixel, Surface& out) = 0;
  // Publishes the finished frame. A host that swaps buffers may hand back
  // another surface in `frame` for the next frame to be drawn into.
  virtual bool Present(Surface& frame) = 0;
  virtual bool ClearFrameBuffer() = 0;  // every pixel 0
  virtual bool ClearPrimary() = 0;      // the published image black
  // Releases everything Open and the Create* calls made; harmless twice.
  virtual void Close() = 0;
};

// True when this processor has what the renderer's wide path needs (x86-64
// with AVX-512 F, BW, VL, VBMI and BITALG: tiles sixteen at a time, lines 64
// pixels at a time); the renderer then takes it.
bool HostRendersWide();

struct DisplayState {
  PixelFormat format;
  int DisplayScale = 1;     // 1-3
  int DisplayVertical = 0;  // 1: the FrameBuffer is 144 x 224, the LCD turned left
  uint8_t* FrameBuffer = nullptr;  // null while the output is absent
  int FramePitch = 0;
  DisplayHost* openHost = nullptr;  // the platform side Open succeeded on
  bool windowKnown = false;  // OpenDisplay has run: SetDisplayGeometry re-opens
  bool wideRendering = HostRendersWide();  // a test may turn it off
};

// Sizes the main window needs for a scale and orientation: the FrameBuffer,
// the image at its top-left, and the client area (image plus status bar).
struct DisplayGeometry {
  int frameWidth, frameHeight;
  int imageWidth, imageHeight;
  int clientWidth, clientHeight;
};
DisplayGeometry GeometryFor(int scale, int vertical);

// 2, 3 or 4 bytes for 16, 17-24 and 25-32 bits per pixel; 0 for any other depth.
int BytesPerPixelForDepth(int bitsPerPixel);

// Sets up the output through m.host.display for the current scale and
// orientation: 0, or -1 after a reported failure with nothing left open.
int OpenDisplay(Machine& m);
void CloseDisplay(Machine& m);
// Re-creates the output when scale or orientation change; always 0.
int SetDisplayGeometry(Machine& m, int scale, int vertical);
// Emulation thread, as line 144 begins: 0, or -1 when nothing was shown.
int PresentFrame(Machine& m);
// Blanks the FrameBuffer and the published image. The FrameBuffer belongs to
// the emulation thread: call it while no emulation thread runs.
void ClearOutput(Machine& m);
void ShowDrawError(Machine& m, const char* text);

}  // namespace kestra
