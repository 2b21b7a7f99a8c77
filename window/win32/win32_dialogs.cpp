#include "window/win32/win32_dialogs.h"

#include "platform/win32/wide.h"
#include "window/win32/resource.h"

namespace vellora {
namespace {

struct Prompt {
  std::wstring text;
  std::wstring answer;
};

INT_PTR CALLBACK inputBoxProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* prompt = reinterpret_cast<Prompt*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      prompt = reinterpret_cast<Prompt*>(lparam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      ::SetDlgItemTextW(dialog, IDC_PROMPT, prompt->text.c_str());
      ::SetDlgItemTextW(dialog, IDC_ANSWER, prompt->answer.c_str());
      ::SendDlgItemMessageW(dialog, IDC_ANSWER, EM_SETSEL, 0, -1);
      ::SetFocus(::GetDlgItem(dialog, IDC_ANSWER));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        const HWND edit = ::GetDlgItem(dialog, IDC_ANSWER);
        std::wstring answer(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
        answer.resize(static_cast<std::size_t>(
            ::GetWindowTextW(edit, answer.data(), static_cast<int>(answer.size()))));
        prompt->answer = answer;
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

void Win32Dialogs::message(const std::string& text) {
  ::MessageBoxW(owner_, win32::toWide(text).c_str(), L"vellora", MB_OK);
}

std::string Win32Dialogs::prompt(const std::string& text, const std::string& defaultAnswer) {
  Prompt prompt{win32::toWide(text), win32::toWide(defaultAnswer)};
  const INT_PTR result =
      ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INPUTBOX), owner_,
                        inputBoxProc, reinterpret_cast<LPARAM>(&prompt));
  return result == IDOK ? win32::toUtf8(prompt.answer) : std::string();
}

}  // namespace vellora
