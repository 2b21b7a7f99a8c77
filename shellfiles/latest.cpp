#include "shellfiles/latest.h"

#include <limits>
#include <vector>

namespace vellora {

void getLatest(FileSystem& files, InputBox& box) {
  std::string directory = box.text();

  // The position is a 16-bit number: a last "\" beyond 32767 does not fit,
  // and the text is then taken as having none.
  const std::size_t found = directory.rfind('\\');
  const std::size_t position = found == std::string::npos ? 0 : found + 1;
  if (position > 0 && position <= 32767) directory.resize(position - 1);

  std::vector<std::string> names;
  (void)files.listFiles(directory + "\\*.wav", names);  // a listing that fails lists nothing

  // A name whose time cannot be read compares with the time read before it.
  const FileTime beforeAll = std::numeric_limits<FileTime>::min();
  FileTime current = beforeAll, best = beforeAll;
  std::string bestName;
  for (const std::string& name : names) {
    if (std::optional<FileTime> t = files.modificationTime(directory + "\\" + name)) current = *t;
    if (current >= best) {
      bestName = name;
      best = current;
    }
  }
  box.setText(directory + "\\" + bestName);
}

}  // namespace vellora
