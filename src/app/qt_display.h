// The window side of the display output: the FrameBuffer the renderer
// writes, and the image area that shows each presented frame at the top-left,
// scaled by an integer factor, nearest neighbour.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>
#include <vector>

#include "video/display.h"

namespace kestra {

class TImageArea;

class QtDisplay final : public DisplayHost {
 public:
  explicit QtDisplay(TImageArea* area) : area_(area) {}

  bool Open() override;
  bool QueryDisplayMode(DisplayMode& mode) override;
  bool CreatePrimary(int width, int height, int scale) override;
  bool CreateFrameBuffer(int width, int height, int bytesPerPixel, Surface& out) override;
  bool Present(Surface& frame) override;
  bool ClearFrameBuffer() override;
  bool ClearPrimary() override;
  void Close() override;

 private:
  TImageArea* area_;
  std::vector<uint8_t> frameBuffer_;
};

// The image area of the main window.
class TImageArea final : public QWidget {
 public:
  explicit TImageArea(QWidget* parent = nullptr);

  // UI thread, no emulation running: the published image's size and scale.
  void SetFormat(int width, int height, int scale);
  void Release();
  bool HasImage() const;

  // Any thread: copies an XRGB frame in under a short lock and asks for a
  // repaint; never waits on painting.
  void Publish(const uint8_t* pixels, int pitch);
  // Any thread: the image black until the next frame.
  void Blank();

  // Any thread: the last frame the emulation published, at its own size
  // (a blank or repaint does not change it); null before one.
  QImage LastFrame() const;

  // What would be painted now, at 1:1 (tests).
  QImage CurrentImage();

  // UI thread. Full screen: the picture at the largest whole scale that fits
  // the area, centred on black; otherwise at the top-left at its own scale.
  void SetFullScreen(bool on);
  bool fullScreen() const { return fullScreen_; }
  // Where the picture is painted now.
  QRect PictureRect();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void RequestRepaint();
  void TakePending();  // UI thread

  mutable std::mutex lock_;
  std::vector<uint8_t> pending_;  // guarded by lock_
  std::vector<uint8_t> last_;     // guarded by lock_
  bool hasLast_ = false;          // guarded by lock_
  bool pendingNew_ = false;       // guarded by lock_
  int width_ = 0, height_ = 0, scale_ = 1;  // guarded by lock_ off the UI thread
  QImage shown_;  // UI thread only
  bool fullScreen_ = false;  // UI thread only
  std::atomic<bool> repaintQueued_{false};
};

}  // namespace kestra
