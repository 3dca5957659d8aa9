// Helper of the engine's restart question check: finds the message box titled <title> (a window
// of another process) and prints what it shows, one line each:
//   title: <title>
//   text: <its text>
//   buttons: <button> <button> ...   (in their order, without the "&" of the access keys)
//   message_box_probe <title> [<seconds to wait> [<button>]]    (default 30)
// With <button> (its text, as printed) it then presses that button, as a click would: the box
// gets the button's command whether or not the display gave it the focus.
// Exit code 0 when the box was found (and the button pressed), 2 when none appeared in time, 3
// when it has no such button.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/window_text.h"

namespace {

struct Shown {
    std::vector<std::string> texts;
    std::vector<std::string> buttons;
    std::vector<HWND> buttonWindows;
};

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string WithoutAccessKeys(const std::string& text) {
    std::string plain;
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        plain += text[i];
    }
    return plain;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM into) {
    Shown& shown = *reinterpret_cast<Shown*>(into);
    const std::string kind = ClassOf(child);
    // The icon is a static control without text.
    if (lstrcmpiA(kind.c_str(), "Static") == 0) {
        const std::string text = testsupport::WindowTextOf(child);
        if (!text.empty())
            shown.texts.push_back(text);
    } else if (lstrcmpiA(kind.c_str(), "Button") == 0) {
        shown.buttons.push_back(WithoutAccessKeys(testsupport::WindowTextOf(child)));
        shown.buttonWindows.push_back(child);
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: message_box_probe <title> [<seconds to wait> [<button>]]\n");
        return 1;
    }
    const DWORD seconds = argc >= 3 ? static_cast<DWORD>(std::atoi(argv[2])) : 30;
    HWND box = testsupport::WaitForDialog(argv[1], seconds * 1000);
    if (!box) {
        std::printf("no message box \"%s\" found\n", argv[1]);
        return 2;
    }
    Shown shown;
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&shown));
    std::printf("title: %s\n", testsupport::WindowTextOf(box).c_str());
    for (const std::string& text : shown.texts)
        std::printf("text: %s\n", text.c_str());
    std::string buttons;
    for (const std::string& button : shown.buttons)
        buttons += (buttons.empty() ? "" : " ") + button;
    std::printf("buttons: %s\n", buttons.c_str());
    if (argc == 4) {
        for (std::size_t i = 0; i < shown.buttons.size(); ++i) {
            if (shown.buttons[i] != argv[3])
                continue;
            HWND button = shown.buttonWindows[i];
            const int id = GetDlgCtrlID(button);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
            std::printf("pressed: %s\n", argv[3]);
            return 0;
        }
        return 3;
    }
    return 0;
}
