#include "support/window_text.h"

namespace testsupport {

std::string WindowTextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 5000, &length))
        return "<no answer>";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_BLOCK, 5000, &copied))
        return "<no answer>";
    text.resize(copied);
    return text;
}

std::string ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return "<no control " + std::to_string(id) + ">";
    return WindowTextOf(control);
}

HWND WaitForDialog(const char* title, DWORD milliseconds) {
    for (DWORD waited = 0;; waited += 100) {
        if (HWND dialog = FindWindowA("#32770", title))
            return dialog;
        if (waited >= milliseconds)
            return nullptr;
        Sleep(100);
    }
}

} // namespace testsupport
