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

  bool ok() const { return reason_.empty(); }
  explicit operator bool() const { return ok(); }
  const std::string& reason() const { return reason_; }

 private:
  explicit IoStatus(std::string reason) : reason_(std::move(reason)) {
    if (reason_.empty()) reason_ = "unknown error";
  }
  std::string reason_;
};

}  // namespace vellora
