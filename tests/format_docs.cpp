// Keeps the lists of formats in the files people read (README, manual pages,
// desktop entry, AppStream text, Debian package, Windows installer) as the
// table of formats has them.
//   format_docs check SOURCE_DIR    fails, naming the file, where one differs
//   format_docs update SOURCE_DIR   rewrites them
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "speed/format_table.h"

namespace {

using vellora::convertibleFormatList;
using vellora::refusedFormatList;

// A region of a file between two marker lines, or a whole line by its start.
struct Generated {
  const char* file;
  std::string begin;  // the marker line before the region, or the line's start
  std::string end;    // the marker after it; empty: `begin` starts one line
  std::string text;   // what stands between them, or after `begin`
};

std::string sentences() {
  return "Converts " + convertibleFormatList() + ".\nRefuses, with the reason, " + refusedFormatList() + ".\n";
}

std::string installerLines() {
  std::string lines;
  const std::string extensions = vellora::extensionList(" ");
  for (std::size_t at = 0; at < extensions.size();) {
    const std::size_t end = std::min(extensions.find(' ', at), extensions.size());
    lines += "  !insertmacro ${TypeMacro} \"." + extensions.substr(at, end - at) + "\"\n";
    at = end + 1;
  }
  return lines;
}

std::vector<Generated> generated() {
  const std::string formats = convertibleFormatList();
  return {
      {"README.md", "<!-- formats: kept by format_docs -->", "<!-- /formats -->", sentences()},
      {"cli/vellora-cli.1", ".\\\" formats: kept by format_docs", ".\\\" /formats", ".PP\n" + sentences()},
      {"data/vellora.1", ".\\\" formats: kept by format_docs", ".\\\" /formats", ".PP\n" + sentences()},
      {"data/io.github.vellora.Vellora.desktop", "MimeType=", {}, vellora::mimeTypeList(";") + ";"},
      {"data/io.github.vellora.Vellora.desktop", "Comment=", {},
       "Copy a recording (" + convertibleFormatList(" or ") + ") to play slower or faster, like tape"},
      {"data/io.github.vellora.Vellora.metainfo.xml", "    <!-- formats: kept by format_docs -->",
       "    <!-- /formats -->", "    <p>\n      " + sentences().replace(sentences().find('\n'), 1, "\n      ") + "    </p>\n"},
      {"cmake/VelloraPackage.cmake", "# formats: kept by format_docs", "# /formats",
       "set(VELLORA_FORMATS \"" + formats + "\")\n"},
      {"cmake/vellora-install.nsh", "  ; types: kept by format_docs", "  ; /types", installerLines()},
  };
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// `content` with the region rewritten; empty with `why` set when its markers are missing.
std::string rewrite(std::string content, const Generated& g, std::string& why) {
  const std::size_t begin = content.find(g.begin);
  if (begin == std::string::npos || (begin != 0 && content[begin - 1] != '\n')) {
    why = "has no line starting \"" + g.begin + "\"";
    return {};
  }
  const std::size_t from = begin + g.begin.size() + (g.end.empty() ? 0 : 1);
  const std::size_t to = g.end.empty() ? content.find('\n', from) : content.find("\n" + g.end, from - 1);
  if (to == std::string::npos) {
    why = "has no line \"" + g.end + "\" after \"" + g.begin + "\"";
    return {};
  }
  return content.replace(from, to + (g.end.empty() ? 0 : 1) - from, g.text);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "";
  if (mode != "check" && mode != "update") {
    std::cerr << "usage: format_docs check|update SOURCE_DIR\n";
    return 2;
  }
  const std::string root = std::string(argv[2]) + "/";
  bool same = true;
  for (const Generated& g : generated()) {
    const std::string path = root + g.file;
    const std::string before = readAll(path);
    std::string why;
    const std::string after = rewrite(before, g, why);
    if (!why.empty()) {
      std::cerr << g.file << " " << why << '\n';
      return 1;
    }
    if (after == before) continue;
    if (mode == "update") {
      std::ofstream(path, std::ios::binary) << after;
      std::cout << "rewrote " << g.file << '\n';
    } else {
      std::cerr << g.file << " lists other formats than the table; run: cmake --build build --target update_format_docs\n";
      same = false;
    }
  }
  return same ? 0 : 1;
}
