#pragma once

#include <string>
#include <utility>

namespace vellora {

// The outcome of one file-system step: empty on success, otherwise the
// system's own words for what went wrong ("No such file or directory").
class IoStatus {
 public:
  IoStatus() = default;
  static IoStatus failure(std::string reason) { return IoStatus(std::move(reason)); }
  // A copy that failed because its source could not be read, not its target written.
  static IoStatus readFailure(std::string reason) {
    IoStatus status(std::move(reason));
    status.reading_ = true;
    return status;
  }
  // A copy that stopped because its progress asked it to; the user knows why.
  static IoStatus cancelled() {
    IoStatus status("cancelled");
    status.cancelled_ = true;
    return status;
  }

  bool ok() const { return reason_.empty(); }
  explicit operator bool() const { return ok(); }
  const std::string& reason() const { return reason_; }
  bool whileReading() const { return reading_; }
  bool wasCancelled() const { return cancelled_; }

 private:
  explicit IoStatus(std::string reason) : reason_(std::move(reason)) {
    if (reason_.empty()) reason_ = "unknown error";
  }
  std::string reason_;
  bool reading_ = false;
  bool cancelled_ = false;
};

}  // namespace vellora
