// A second thread for tests, started with CreateThread: the i686 test build uses the product's
// win32 thread model, whose standard library has no std::thread. The thread is joined (and its
// handle closed) when the object goes, so a test cannot leave one running.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

#include "setup/core/handles.h"

namespace testsupport {

class TestThread {
public:
    explicit TestThread(std::function<void()> body) : m_body(std::move(body)) {
        DWORD id = 0;
        m_handle.Reset(CreateThread(nullptr, 0, &TestThread::Run, this, 0, &id));
    }
    ~TestThread() { Join(); }
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

    bool Started() const { return m_handle.IsOpen(); }
    void Join() {
        if (m_handle.IsOpen())
            WaitForSingleObject(m_handle.Get(), INFINITE);
        m_handle.Reset();
    }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<TestThread*>(self)->m_body();
        return 0;
    }

    std::function<void()> m_body;
    KernelHandle m_handle;
};

} // namespace testsupport
