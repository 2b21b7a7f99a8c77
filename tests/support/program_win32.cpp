#include <windows.h>

#include <cstdio>
#include <thread>

#include "platform/win32/wide.h"
#include "support/program.h"

namespace vellora::test {
namespace {

using win32::toWide;
using win32::UniqueHandle;

// One argument quoted as CommandLineToArgvW and the C runtime read it back.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, L'\\');
  return out + L"\"";
}

// The program's own path; a Unix path, as CMake gives it under Wine, lies on Z:.
std::wstring programPath(const std::string& program) {
  return toWide(program.starts_with('/') ? "Z:" + program : program);
}

// A handle the child inherits for one of its standard streams; null for a
// closed one. Files are opened as Wine's cmd opens them for "<", ">" and
// ">>": a file made for ">" may be deleted by others, one for ">>" not.
UniqueHandle childEnd(const Redirect& r, DWORD which) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  switch (r.kind) {
    case Redirect::Kind::Inherit: {
      HANDLE own = ::GetStdHandle(which), copy = nullptr;
      ::DuplicateHandle(::GetCurrentProcess(), own, ::GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
      return UniqueHandle(copy);
    }
    case Redirect::Kind::File:
      if (which == STD_INPUT_HANDLE)
        return UniqueHandle(::CreateFileW(toWide(r.hostPath).c_str(), GENERIC_READ, share, &inherit, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
      return UniqueHandle(::CreateFileW(toWide(r.hostPath).c_str(), GENERIC_WRITE, share | FILE_SHARE_DELETE,
                                        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    case Redirect::Kind::Append: {
      UniqueHandle file(::CreateFileW(toWide(r.hostPath).c_str(), GENERIC_WRITE, share, &inherit, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
      ::SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END);
      return file;
    }
    case Redirect::Kind::Closed:
    case Redirect::Kind::Full:
    case Redirect::Kind::Terminal: break;
  }
  return {};
}

struct Started {
  UniqueHandle process;
  bool ok = false;
};

Started start(const Launch& launch, HANDLE in, HANDLE out, HANDLE err) {
  std::wstring commandLine = quoted(programPath(launch.program));
  for (const std::string& argument : launch.arguments) commandLine += L" " + quoted(toWide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const std::wstring directory = toWide(launch.directory);
  Started started;
  started.ok = ::CreateProcessW(programPath(launch.program).c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                nullptr, directory.empty() ? nullptr : directory.c_str(), &startup, &process);
  if (!started.ok) {
    std::fprintf(stderr, "could not start %s: %s\n", launch.program.c_str(),
                 win32::reasonFor(::GetLastError()).c_str());
    return started;
  }
  ::CloseHandle(process.hThread);
  started.process = UniqueHandle(process.hProcess);
  return started;
}

int waitFor(const Started& started) {
  if (!started.ok) return -1;
  ::WaitForSingleObject(started.process.get(), INFINITE);
  DWORD code = 0;
  return ::GetExitCodeProcess(started.process.get(), &code) ? static_cast<int>(code) : -1;
}

}  // namespace

int runProgram(const Launch& launch) {
  const UniqueHandle in = childEnd(launch.input, STD_INPUT_HANDLE),
                     out = childEnd(launch.output, STD_OUTPUT_HANDLE),
                     err = childEnd(launch.error, STD_ERROR_HANDLE);
  return waitFor(start(launch, in.get(), out.get(), err.get()));
}

Piped runPiped(const Launch& launch, const std::string& input) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  if (!::CreatePipe(&inRead, &inWrite, &inherit, 0) || !::CreatePipe(&outRead, &outWrite, &inherit, 0)) return {};
  UniqueHandle childIn(inRead), feed(inWrite), drain(outRead), childOut(outWrite);
  // The child inherits only its own ends.
  ::SetHandleInformation(feed.get(), HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(drain.get(), HANDLE_FLAG_INHERIT, 0);
  const UniqueHandle err = childEnd(launch.error, STD_ERROR_HANDLE);
  const Started started = start(launch, childIn.get(), childOut.get(), err.get());
  childIn.reset();
  childOut.reset();
  std::thread feeder([&] {
    // The program may stop reading early; what it did not take is dropped.
    for (std::size_t done = 0; done < input.size();) {
      DWORD written = 0;
      const auto want = static_cast<DWORD>(std::min<std::size_t>(input.size() - done, 1 << 16));
      if (!::WriteFile(feed.get(), input.data() + done, want, &written, nullptr)) break;
      done += written;
    }
    feed.reset();
  });
  Piped piped;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(drain.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) piped.out.append(buffer, got);
  feeder.join();
  piped.status = waitFor(started);
  return piped;
}

bool hasFullDevice() { return false; }
bool hasTerminals() { return false; }

}  // namespace vellora::test
