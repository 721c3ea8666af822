// The emulation thread: the machine's job loop on a QThread of its own. It
// looks at the interruption request once per 5 ms job.
#pragma once

#include <QThread>
#include <atomic>
#include <functional>
#include <string>

namespace kestra {

class Emulator;
struct PlayControl;

class Job5ms final : public QThread {
 public:
  using StatusFunction = std::function<void(const std::string&)>;
  Job5ms(Emulator& e, StatusFunction status) : e_(e), status_(std::move(status)) {}
  // Emulator::RunPlay under `control`: whole frames, pause, fast-forward, rewind.
  Job5ms(Emulator& e, StatusFunction status, PlayControl& control)
      : e_(e), status_(std::move(status)), control_(&control) {}

  // Waits for the run loop to return. Afterwards the machine belongs to the
  // caller: everything the thread did happens before what the caller does.
  void Join();

 protected:
  void run() override;

 private:
  Emulator& e_;
  StatusFunction status_;
  PlayControl* control_ = nullptr;
  std::atomic<bool> done_{false};
};

}  // namespace kestra
