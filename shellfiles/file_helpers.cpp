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

IoStatus copyFile(FileSystem& files, const std::string& source, const std::string& target) {
  Opened<InputFile> in = files.openInput(source);
  if (!in.status) return in.status;
  Opened<ReplacementFile> out = files.createReplacement(target);
  if (!out.status) return out.status;
  if (IoStatus s = out.file->copyFrom(*in.file, {}); !s) return s;
  return out.file->commit();
}

void puttofile(FileSystem& files, const std::string& swhat, const std::string& sfile,
               std::int32_t pt) {
  const std::uint64_t offset = pt > 1 ? static_cast<std::uint64_t>(pt) - 1 : 0;
  // An empty text still leaves the file pt - 1 bytes long: its last zero byte
  // is written so that the gap before the text exists.
  if (swhat.empty() && offset > 0) {
    (void)writeFileContent(files, sfile, std::string_view("\0", 1), offset - 1);
    return;
  }
  (void)writeFileContent(files, sfile, files.fileText(swhat), offset);
}

std::string loadfromfile(FileSystem& files, const std::string& fname) {
  Opened<InputFile> in = files.openInput(fname);
  if (!in.status) return {};
  // Bytes that cannot be read stay blanks, as the content prepared for them.
  std::string content(static_cast<std::size_t>(in.file->size()), ' ');
  (void)in.file->readAt(0, std::as_writable_bytes(std::span(content)));
  return content;
}

}  // namespace vellora
