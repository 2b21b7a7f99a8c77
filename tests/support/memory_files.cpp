#include "support/memory_files.h"

#include <algorithm>
#include <cstring>

#include "platform/wildcard.h"

namespace vellora::test {

namespace {

std::string parentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return {};
  return slash == 2 ? path.substr(0, 3) : path.substr(0, slash);  // "C:\" keeps its "\"
}

class MemoryInput : public InputFile {
 public:
  explicit MemoryInput(std::string bytes) : bytes_(std::move(bytes)) {}
  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    if (offset >= bytes_.size()) return {};
    const std::size_t count = std::min(into.size(), bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(into.data(), bytes_.data() + offset, count);
    return {count, {}};
  }
  std::uint64_t size() const override { return bytes_.size(); }

 private:
  std::string bytes_;
};

class MemoryReplacement : public ReplacementFile {
 public:
  MemoryReplacement(MemoryFiles& files, std::string path) : files_(files), path_(std::move(path)) {}
  IoStatus copyFrom(InputFile& source, const CopyProgress& progress) override {
    const std::uint64_t total = source.size();
    if (progress && !progress(0, total)) return IoStatus::cancelled();
    bytes_.assign(static_cast<std::size_t>(total), '\0');
    const auto read = source.readAt(0, std::as_writable_bytes(std::span(bytes_.data(), bytes_.size())));
    if (!read.status) return IoStatus::readFailure(read.status.reason());
    if (progress && !progress(total, total)) return IoStatus::cancelled();
    return {};
  }
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
    const auto at = static_cast<std::size_t>(offset);
    if (bytes_.size() < at + bytes.size()) bytes_.resize(at + bytes.size(), '\0');
    std::memcpy(bytes_.data() + at, bytes.data(), bytes.size());
    return {};
  }
  IoStatus commit(Existing existing) override {
    if (existing == Existing::Keep && files_.exists(path_)) return IoStatus::failure("File exists");
    files_.write(path_, bytes_);
    return {};
  }

 private:
  MemoryFiles& files_;
  std::string path_;
  std::string bytes_;
};

}  // namespace

MemoryFiles::MemoryFiles() { directories.insert("C:\\"); }

std::string MemoryFiles::read(const std::string& path) const {
  const auto f = files.find(path);
  return f == files.end() ? "<missing>" : f->second.bytes;
}

Opened<InputFile> MemoryFiles::openInput(const std::string& path) {
  const auto f = files.find(path);
  if (f == files.end()) return {nullptr, IoStatus::failure("No such file or directory")};
  return {std::make_unique<MemoryInput>(f->second.bytes), {}};
}

Opened<ReplacementFile> MemoryFiles::createReplacement(const std::string& path) {
  if (!directories.count(parentOf(path))) return {nullptr, IoStatus::failure("No such file or directory")};
  return {std::make_unique<MemoryReplacement>(*this, path), {}};
}

bool MemoryFiles::exists(const std::string& path) { return files.count(path) || directories.count(path); }

IoStatus MemoryFiles::makeDirectory(const std::string& path) {
  if (directories.count(path)) return {};
  if (files.count(path)) return IoStatus::failure("Not a directory");
  const std::string parent = parentOf(path);
  if (parent == path) return IoStatus::failure("No such file or directory");
  if (IoStatus made = makeDirectory(parent); !made) return made;
  directories.insert(path);
  return {};
}

IoStatus MemoryFiles::listFiles(const std::string& pattern, std::vector<std::string>& names) {
  names.clear();
  const std::string directory = parentOf(pattern);
  if (!directories.count(directory)) return IoStatus::failure("No such file or directory");
  const std::string wildcard = pattern.substr(pattern.find_last_of('\\') + 1);
  for (const auto& [path, file] : files)
    if (parentOf(path) == directory && wildcardMatch(wildcard, path.substr(path.find_last_of('\\') + 1)))
      names.push_back(path.substr(path.find_last_of('\\') + 1));
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return caseInsensitiveLess(a, b); });
  return {};
}

std::optional<FileTime> MemoryFiles::modificationTime(const std::string& path) {
  const auto f = files.find(path);
  if (f == files.end()) return std::nullopt;
  return f->second.time;
}

std::optional<std::string> SlashPaths::toSystem(std::string_view hostPath, std::string* why) const {
  if (!hostPath.starts_with("/c/")) {
    if (why) *why = "its path lies on no drive";
    return std::nullopt;
  }
  std::string system = "C:\\" + std::string(hostPath.substr(3));
  std::replace(system.begin(), system.end(), '/', '\\');
  return system;
}

std::optional<std::string> SlashPaths::toHost(std::string_view systemPath, std::string*) const {
  std::string host = "/c/" + std::string(systemPath.substr(3));
  std::replace(host.begin(), host.end(), '\\', '/');
  return host;
}

std::optional<std::string> SlashPaths::typedHostPath(std::string_view typed) const {
  if (!typed.starts_with("/")) return std::nullopt;
  return toSystem(typed);
}

}  // namespace vellora::test
