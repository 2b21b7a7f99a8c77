#include "window/win32/win32_clock.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace vellora {

std::string Win32Clock::presentDateTime() {
  wchar_t date[128] = {};
  wchar_t time[128] = {};
  ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 128, nullptr);
  ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, time, 128);
  return win32::toUtf8(std::wstring(date) + L" " + time);
}

std::int64_t Win32Clock::steadyMilliseconds() {
  return static_cast<std::int64_t>(::GetTickCount64());
}

}  // namespace vellora
