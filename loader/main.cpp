// The loader's entry: builds the application object, runs its start-up hook and ends. There is
// no message loop; the start-up hook does all the work and reports false.
//
// Control containment and 3-D dialog controls need nothing here: the loader hosts no ActiveX
// controls, its one dialog uses only the system's own static, edit and button classes (no
// common-controls initialisation), and the system draws dialogs of a program marked for
// Windows 4.0 (the linker's default subsystem version) in 3-D.
#include "loader/loader_app.h"
#include "setup/core/platform_version.h"

#include <windows.h>

#include <cstdlib>

// The loader writes nothing to a console: an exception that nobody catches simply ends it.
// Replacing the run-time library's verbose handler, which prints the exception's type, keeps
// that handler's name demangler (about 75 KB) out of the program.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

namespace {
LoaderApp theApp;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The setup library's process-wide objects are all defined in one unit and built before
    // this entry runs; naming one of them links that unit into the program.
    ThePlatformVersion();
    theApp.InitInstance(GetCommandLineA());
    return theApp.ExitCode();
}
