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

  // A new file that took its name, but whose name could not be flushed to
  // disk: it is in place and may yet be lost to a power cut.
  static IoStatus inPlaceNotFlushed(std::string reason) {
    IoStatus status(std::move(reason));
    status.inPlace_ = true;
    return status;
  }

  bool ok() const { return reason_.empty(); }
  explicit operator bool() const { return ok(); }
  const std::string& reason() const { return reason_; }
  bool whileReading() const { return reading_; }
  bool wasCancelled() const { return cancelled_; }
  bool inPlace() const { return inPlace_; }

 private:
  explicit IoStatus(std::string reason) : reason_(std::move(reason)) {
    if (reason_.empty()) reason_ = "unknown error";
  }
  std::string reason_;
  bool reading_ = false;
  bool cancelled_ = false;
  bool inPlace_ = false;
};

}  // namespace vellora
