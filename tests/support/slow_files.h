#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "shellfiles/file_system.h"

namespace vellora::test {

// A real file system whose copies first report `steps` steps of progress,
// the clock `now` moving on `stepMs` after each, before the real copy is
// made: a long copy, in no time.
template <class RealFiles>
struct SlowFiles : RealFiles {
  using RealFiles::RealFiles;

  struct Replacement : ReplacementFile {
    Replacement(std::unique_ptr<ReplacementFile> real, SlowFiles& files)
        : real_(std::move(real)), files_(files) {}
    IoStatus copyFrom(InputFile& source, const CopyProgress& progress) override {
      const std::uint64_t total = source.size();
      const auto stepCount = static_cast<std::uint64_t>(files_.steps);
      for (int i = 0; i < files_.steps; ++i) {
        if (!progress(total * static_cast<std::uint64_t>(i) / stepCount, total)) return IoStatus::cancelled();
        files_.now += files_.stepMs;
        if (files_.afterStep) files_.afterStep(i);
      }
      return real_->copyFrom(source, progress);
    }
    IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
      return real_->writeAt(offset, bytes);
    }
    IoStatus commit(Existing existing) override { return real_->commit(existing); }
    std::unique_ptr<ReplacementFile> real_;
    SlowFiles& files_;
  };

  Opened<ReplacementFile> createReplacement(const std::string& path) override {
    Opened<ReplacementFile> opened = RealFiles::createReplacement(path);
    if (opened.file) opened.file = std::make_unique<Replacement>(std::move(opened.file), *this);
    return opened;
  }

  int steps = 10;
  std::int64_t stepMs = 0;
  std::int64_t now = 0;
  std::function<void(int step)> afterStep;
};

}  // namespace vellora::test
