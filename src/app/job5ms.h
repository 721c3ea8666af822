// The emulation thread: the machine's job loop on a QThread of its own. It
// looks at the interruption request once per 5 ms job.
#pragma once

#include <QThread>
#include <functional>
#include <string>

namespace kestra {

struct Machine;

class Job5ms final : public QThread {
 public:
  using StatusFunction = std::function<void(const std::string&)>;
  Job5ms(Machine& m, StatusFunction status) : m_(m), status_(std::move(status)) {}

 protected:
  void run() override;

 private:
  Machine& m_;
  StatusFunction status_;
};

}  // namespace kestra
