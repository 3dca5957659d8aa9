// Texts of windows that belong to another process (a dialog or message box of the program under
// test), read from a helper program of the window checks.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// The text of `window`, asked for by message (WM_GETTEXT). GetWindowText of another process's
// window reads only the caption the window keeps itself, which an edit control does not keep.
// "<no answer>" when the window does not answer within 5 seconds.
std::string WindowTextOf(HWND window);

// The text of the child control `id` of `dialog`; "<no control N>" when it has none.
std::string ControlText(HWND dialog, int id);

// The top-level dialog (class "#32770") titled `title`, waited for up to `milliseconds`; null
// when none appeared.
HWND WaitForDialog(const char* title, DWORD milliseconds);

} // namespace testsupport
