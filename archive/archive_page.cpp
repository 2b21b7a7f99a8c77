#include "archive/archive_page.h"

#include "shellfiles/file_helpers.h"

namespace vellora {

std::string archivePageText(const std::string& heading, const std::string& dateTime) {
  const std::string contact = kContactAddress;
  return "<table><tr><td><h3>" + heading + "</h3>" + "<p><embed src=fid.wav>" +
         "<p><a href=acqus.txt>acqus</a> <a href=fid.bin>fid</a>" +
         "<p>created by Sorvenix.EXE by <a href=mailto:" + contact + ">" + contact + "</a> " +
         dateTime + "</td><td><img src=spectrum.gif></td></tr></table>";
}

void archivedata(ArchiveServices& services, const std::string& label1Caption) {
  const std::string answer = services.dialogs.prompt("Subdirectory of C:\\temp\\vellora\\?", "");
  if (answer.empty()) return;

  const std::string directory = "C:\\temp\\vellora\\" + answer;
  // An existing directory is fine: its files are replaced.
  (void)services.files.makeDirectory(directory);

  struct Copy {
    const char *source, *target;
  };
  constexpr Copy kCopies[] = {
      {"C:\\temp\\fid", "\\fid.bin"},
      {"C:\\temp\\acqus", "\\acqus.txt"},
      {"C:\\temp\\spectrum.eps", "\\spectrum.eps"},
      {"C:\\temp\\fid.wav", "\\fid.wav"},
  };
  for (const Copy& c : kCopies) (void)copyFile(services.files, c.source, directory + c.target);

  std::string page = directory + "\\index.htm";
  puttofile(services.files, archivePageText(label1Caption, services.clock.presentDateTime()), page, 1);
  services.shell.shellopen(page, SW_MINIMIZE);
}

}  // namespace vellora
