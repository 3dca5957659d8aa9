// GoogleTest's hook for platform replacements, used by the i686 test build only. That build uses
// the product's compilers, whose win32 thread model has no std::mutex or
// std::condition_variable; GoogleTest's own locks are Win32 critical sections there, and only
// its start signal for helper threads (Notification) is built on those standard types. This
// one is a Win32 manual-reset event instead.
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : m_event(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() {
        if (m_event)
            CloseHandle(m_event);
    }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(m_event); }
    void WaitForNotification() { WaitForSingleObject(m_event, INFINITE); }

private:
    HANDLE m_event;
};

} // namespace internal
} // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
