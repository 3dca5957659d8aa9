// The sample product's shared DLL, built twice: an older build (1.0.0.0) that another product
// left on the machine and the newer build (2.0.0.0) that the sample product brings.
#include <windows.h>

extern "C" __declspec(dllexport) int TarvoSharedBuild() {
    return TARVO_SHARED_BUILD;
}
