// Helper of the window check: finds the loader's open disclaimer dialog ("Tarvo Setup"), reads
// its heading and body controls and compares them with the caption and the disclaimer file.
//   quenda_dialog_probe <disclaimer file>
// Exit code 0 when both match, 1 when not, 2 when no dialog appeared within 30 seconds.
#include "loader/disclaimer.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return "<no control " + std::to_string(id) + ">";
    // Messages, not GetWindowText: for a window of another process that only reads the
    // window's own caption, which an edit control does not keep.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 5000, &length))
        return "<no answer>";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]),
                        SMTO_BLOCK, 5000, &copied);
    text.resize(copied);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quenda_dialog_probe <disclaimer file>\n");
        return 1;
    }
    HWND dialog = nullptr;
    for (int i = 0; i < 300 && !dialog; ++i) {
        dialog = FindWindowA("#32770", "Tarvo Setup");
        if (!dialog)
            Sleep(100);
    }
    if (!dialog) {
        std::printf("no \"Tarvo Setup\" dialog found\n");
        return 2;
    }
    const std::string heading = ControlText(dialog, 130);
    const std::string body = ControlText(dialog, 131);
    const std::string expected = ReadDisclaimerText(argv[1]);
    std::printf("heading: %s\nbody: %zu characters\n", heading.c_str(), body.size());
    bool ok = true;
    if (heading != "Tarvo Setup") {
        std::printf("heading differs from the caption\n");
        ok = false;
    }
    if (body != expected) {
        std::printf("body differs from the disclaimer file:\n--- shown\n%s\n--- expected\n%s\n",
                    body.c_str(), expected.c_str());
        ok = false;
    }
    return ok ? 0 : 1;
}
