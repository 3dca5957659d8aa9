// Helper of the window check: finds the loader's open disclaimer dialog ("Tarvo Setup"), reads
// its heading and body controls and compares them with the caption and the disclaimer file.
//   quenda_dialog_probe <disclaimer file>
// Exit code 0 when both match, 1 when not, 2 when no dialog appeared within 30 seconds.
#include "loader/disclaimer.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "support/window_text.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quenda_dialog_probe <disclaimer file>\n");
        return 1;
    }
    HWND dialog = testsupport::WaitForDialog("Tarvo Setup", 30000);
    if (!dialog) {
        std::printf("no \"Tarvo Setup\" dialog found\n");
        return 2;
    }
    const std::string heading = testsupport::ControlText(dialog, 130);
    const std::string body = testsupport::ControlText(dialog, 131);
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
