// The loader's entry: builds the application object, runs its start-up hook and ends. There is
// no message loop; the start-up hook does all the work and reports false.
//
// Control containment and 3-D dialog controls need nothing here: the loader hosts no ActiveX
// controls, its one dialog uses only the system's own static, edit and button classes (no
// common-controls initialisation), and that dialog asks for the 3-D look itself (DS_3DLOOK),
// because the product is marked for Windows NT 3.10, so that NT 3.51 loads it, and Windows 95
// and NT 4.0 draw dialogs of such a program in 3-D only on request.
#include "loader/loader_app.h"
#include "setup/core/process_objects.h"
#include "setup/core/sysfolders.h"

#include <windows.h>

namespace {
LoaderApp theApp;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The setup library's process-wide objects are built before the loader's own work, with
    // the folder library of the folder current at start.
    RecordStartFolder();
    BuildProcessObjects();
    theApp.InitInstance(GetCommandLineA());
    return theApp.ExitCode();
}
