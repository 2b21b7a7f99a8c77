#include "shellfiles/file_helpers.h"

#include <span>

namespace vellora {

IoStatus writeFileContent(FileSystem& files, const std::string& path, std::string_view bytes,
                          std::uint64_t offset) {
  Opened<ReplacementFile> out = files.createReplacement(path);
  if (!out.status) return out.status;
  if (IoStatus s = out.file->writeAt(offset, std::as_bytes(std::span(bytes))); !s) return s;
  return out.file->commit();
}

}  // namespace vellora
