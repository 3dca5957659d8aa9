#include "cancel.h"

#include <windows.h>

namespace {
// Windows 95 has no InterlockedCompareExchange: an aligned LONG is read whole.
volatile LONG g_cancelRequested = 0;
} // namespace

void RequestCancel() {
    InterlockedExchange(&g_cancelRequested, 1);
}

bool CancelRequested() {
    return g_cancelRequested != 0;
}
