#include "app/qt_display.h"

#include <QPaintEvent>
#include <QPainter>
#include <cstring>

#include "app/full_screen.h"

namespace kestra {

bool QtDisplay::Open() { return area_ != nullptr; }

bool QtDisplay::QueryDisplayMode(DisplayMode& mode) {
  mode = DisplayMode{32, 0xFF0000, 0x00FF00, 0x0000FF};
  return true;
}

bool QtDisplay::CreatePrimary(int width, int height, int scale) {
  if (!area_) return false;
  area_->SetFormat(width, height, scale);
  return true;
}

bool QtDisplay::CreateFrameBuffer(int width, int height, int bytesPerPixel, Surface& out) {
  if (bytesPerPixel != 4 || width <= 0 || height <= 0) return false;
  frameBuffer_.assign(static_cast<size_t>(width) * height * 4, 0);
  out.pixels = frameBuffer_.data();
  out.pitch = width * 4;
  return true;
}

bool QtDisplay::Present(Surface& frame) {
  if (!area_ || !area_->HasImage() || frameBuffer_.empty()) return false;
  area_->Publish(frame.pixels, frame.pitch);
  return true;
}

bool QtDisplay::ClearFrameBuffer() {
  if (frameBuffer_.empty()) return false;
  std::memset(frameBuffer_.data(), 0, frameBuffer_.size());
  return true;
}

bool QtDisplay::ClearPrimary() {
  if (!area_ || !area_->HasImage()) return false;
  area_->Blank();
  return true;
}

void QtDisplay::Close() {
  frameBuffer_.clear();
  frameBuffer_.shrink_to_fit();
  if (area_) area_->Release();
}

TImageArea::TImageArea(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

void TImageArea::SetFormat(int width, int height, int scale) {
  {
    std::lock_guard lock(lock_);
    width_ = width;
    height_ = height;
    scale_ = scale;
    pending_.assign(static_cast<size_t>(width) * height * 4, 0);
    last_.assign(pending_.size(), 0);
    hasLast_ = false;
    pendingNew_ = true;
  }
  update();
}

void TImageArea::Release() {
  {
    std::lock_guard lock(lock_);
    width_ = height_ = 0;
    pending_.clear();
    last_.clear();
    hasLast_ = false;
    pendingNew_ = true;
  }
  update();
}

bool TImageArea::HasImage() const {
  std::lock_guard lock(lock_);
  return width_ > 0;
}

void TImageArea::Publish(const uint8_t* pixels, int pitch) {
  {
    std::lock_guard lock(lock_);
    if (width_ == 0) return;
    const size_t row = static_cast<size_t>(width_) * 4;
    for (int y = 0; y < height_; ++y) {
      std::memcpy(pending_.data() + y * row, pixels + static_cast<size_t>(y) * pitch, row);
    }
    std::memcpy(last_.data(), pending_.data(), pending_.size());
    hasLast_ = true;
    pendingNew_ = true;
  }
  RequestRepaint();
}

void TImageArea::Blank() {
  {
    std::lock_guard lock(lock_);
    std::fill(pending_.begin(), pending_.end(), 0);
    pendingNew_ = true;
  }
  RequestRepaint();
}

void TImageArea::RequestRepaint() {
  // One queued repaint at a time: frames that arrive meanwhile are merged.
  if (repaintQueued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        repaintQueued_ = false;
        update();
      },
      Qt::QueuedConnection);
}

void TImageArea::TakePending() {
  std::lock_guard lock(lock_);
  if (!pendingNew_) return;
  pendingNew_ = false;
  if (width_ == 0) {
    shown_ = QImage();
    return;
  }
  if (shown_.width() != width_ || shown_.height() != height_) {
    shown_ = QImage(width_, height_, QImage::Format_RGB32);
  }
  // XRGB in memory is Format_RGB32 on a little-endian host; the X byte is
  // forced opaque so any painter treats the pixels alike.
  for (int y = 0; y < height_; ++y) {
    const auto* src = reinterpret_cast<const uint32_t*>(pending_.data() + y * width_ * 4);
    auto* dst = reinterpret_cast<uint32_t*>(shown_.scanLine(y));
    for (int x = 0; x < width_; ++x) dst[x] = src[x] | 0xFF000000u;
  }
}

QImage TImageArea::LastFrame() const {
  std::lock_guard lock(lock_);
  if (!hasLast_ || width_ == 0) return QImage();
  QImage image(width_, height_, QImage::Format_RGB32);
  for (int y = 0; y < height_; ++y) {
    const auto* src = reinterpret_cast<const uint32_t*>(last_.data() + y * width_ * 4);
    auto* dst = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < width_; ++x) dst[x] = src[x] | 0xFF000000u;
  }
  return image;
}

QImage TImageArea::CurrentImage() {
  TakePending();
  return shown_;
}

void TImageArea::SetFullScreen(bool on) {
  fullScreen_ = on;
  update();
}

QRect TImageArea::PictureRect() {
  TakePending();
  if (shown_.isNull()) return QRect();
  if (fullScreen_) {
    const ScreenRect r =
        FullScreenGeometry(width(), height(), shown_.height() > shown_.width()).image;
    return QRect(r.x, r.y, r.width, r.height);
  }
  int scale;
  {
    std::lock_guard lock(lock_);
    scale = scale_;
  }
  return QRect(0, 0, shown_.width() * scale, shown_.height() * scale);
}

void TImageArea::paintEvent(QPaintEvent*) {
  const QRect target = PictureRect();
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (shown_.isNull()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(target, shown_);
}

}  // namespace kestra
