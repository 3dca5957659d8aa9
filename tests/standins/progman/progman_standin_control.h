// Starts the stand-in Program Manager for one test and reads back what it was sent.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/handles.h"
#include "setup/core/progman.h"
#include "support/fixtures.h"

namespace testsupport {

// True when DDE can work: Wine's DDE needs an X display.
inline bool HasDisplay() {
    return !EnvText("DISPLAY").empty();
}

// Wine's own "PROGMAN" service opens a folder window (an explorer process of its own, slow to
// start) for each group it creates or shows. Closes the windows titled `title` as they appear:
// waits up to `waitMs` for the first, then until none has appeared for `quietMs`. Returns how
// many close requests were posted.
struct CloseFolderSearch {
    const std::string* Title;
    int Closed;
};

// An enumeration callback in the platform's calling convention (a lambda converts only to a
// cdecl pointer, which differs from CALLBACK at 32 bits).
inline BOOL CALLBACK CloseFolderWindow(HWND window, LPARAM param) {
    CloseFolderSearch* s = reinterpret_cast<CloseFolderSearch*>(param);
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    if (IsWindowVisible(window) && *s->Title == text) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        ++s->Closed;
    }
    return TRUE;
}

inline int CloseFolderWindows(const std::string& title, DWORD waitMs = 15000,
                              DWORD quietMs = 1500) {
    CloseFolderSearch search = {&title, 0};
    DWORD start = GetTickCount(), lastSeen = 0;
    while (GetTickCount() - start < waitMs) {
        int before = search.Closed;
        EnumWindows(&CloseFolderWindow, reinterpret_cast<LPARAM>(&search));
        if (search.Closed != before)
            lastSeen = GetTickCount();
        else if (lastSeen && GetTickCount() - lastSeen > quietMs)
            break;
        // Keep answering messages meanwhile: the new window's process may be waiting for this
        // thread to answer a broadcast.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return search.Closed;
}

class ProgmanStandin {
public:
    // Starts progman_standin.exe (beside the test program), logging into `folder`.
    explicit ProgmanStandin(const std::string& folder) : m_log(folder + "\\progman.log") {
        std::string event = "TarvoProgmanReady-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(GetTickCount());
        KernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, event.c_str()));
        std::string cmd = "\"" + ProgramFolder() + "\\progman_standin.exe\" \"" + m_log + "\" " +
                          event + " 120000";
        std::vector<char> buf(cmd.begin(), cmd.end());
        buf.push_back('\0');
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION started = {};
        if (CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                           &started)) {
            m_process.Reset(started.hProcess);
            KernelHandle thread(started.hThread);
            HANDLE waits[] = {ready.Get(), m_process.Get()};
            m_running = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
        }
    }
    ~ProgmanStandin() {
        if (m_process) {
            if (m_running)
                (void)PmExecute("[ExitProgman(0)]"); // the wait below covers a refusal
            if (WaitForSingleObject(m_process.Get(), 10000) != WAIT_OBJECT_0)
                TerminateProcess(m_process.Get(), 1);
        }
    }
    ProgmanStandin(const ProgmanStandin&) = delete;
    ProgmanStandin& operator=(const ProgmanStandin&) = delete;

    bool Running() const { return m_running; }

    // The execute commands received so far, one per entry, in order.
    std::vector<std::string> Commands() const {
        std::vector<std::string> lines;
        std::string text = ReadFileBytes(m_log);
        std::size_t start = 0, end;
        while ((end = text.find('\n', start)) != std::string::npos) {
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

private:
    std::string m_log;
    KernelHandle m_process;
    bool m_running = false;
};

} // namespace testsupport
