#pragma once

#include <string>
#include <vector>

namespace vellora::test {

// Where one of a started program's standard streams leads.
struct Redirect {
  enum class Kind { Inherit, File, Append, Closed, Full, Terminal };
  Kind kind = Kind::Inherit;
  std::string hostPath;  // the file, for File and Append

  static Redirect toFile(std::string path) { return {Kind::File, std::move(path)}; }
  static Redirect appendTo(std::string path) { return {Kind::Append, std::move(path)}; }
  static Redirect closed() { return {Kind::Closed, {}}; }
  // A device where every write fails for want of space; not on every host.
  static Redirect full() { return {Kind::Full, {}}; }
  // A terminal of its own, which nobody types into; not on every host.
  static Redirect terminal() { return {Kind::Terminal, {}}; }
};

struct Launch {
  std::string program;  // host path of the executable
  std::vector<std::string> arguments;
  std::string directory;  // host path of the working directory
  Redirect input, output, error;
};

// Runs the program to its end and returns its exit status, -1 when it could
// not start or did not exit by itself.
int runProgram(const Launch& launch);

struct Piped {
  int status = -1;
  std::string out;
};

// Runs the program with its standard input a pipe fed `input` and its
// standard output a pipe read into the result; standard error as launched.
Piped runPiped(const Launch& launch, const std::string& input);

// True where Redirect::full() exists (Linux's /dev/full).
bool hasFullDevice();
// True where Redirect::terminal() can be had (a pseudo-terminal).
bool hasTerminals();

}  // namespace vellora::test
