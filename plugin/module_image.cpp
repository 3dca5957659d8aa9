// What the plug-in's image needs to load on every system it is for.
//
// No thread-local storage directory. The start-up code of the compiler's run-time names the
// callback below, which would otherwise link in a TLS directory and its callbacks; Windows 95
// refuses to load a DLL that has one through LoadLibrary (error 1114), and that is how the
// engine loads the plug-in. The plug-in declares no thread-local data and registers no
// per-thread destructors, which is all that directory serves; the start-up code skips a null
// callback. Only the product build (TARVO_CRTDLL) controls its start-up code this way.
#include <windows.h>

#if defined(TARVO_CRTDLL)
extern "C" const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;
#endif
