// Process starts (against the setup engine stand-in), the message pump during a wait, and the
// registry editor merge.
#include "setup/core/process.h"

#include "standins/engine/engine_standin.h"
#include "setup/core/handles.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

using testsupport::ScratchKey;
using testsupport::TempFolder;

namespace {

// Waits (at most `ms`) until `done` holds.
template <typename Condition> bool PollFor(Condition done, DWORD ms = 10000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(10);
    }
    return true;
}

class ProcessStart : public ::testing::Test {
protected:
    void SetUp() override {
        engine = enginestandin::CopyInto(temp.Path());
        ASSERT_FALSE(engine.empty()) << "stand-in engine missing: " << enginestandin::BuiltPath();
    }

    std::string CommandLineSeen() const { return enginestandin::ReceivedCommandLine(temp.Path()); }

    TempFolder temp;
    std::string engine;
};

} // namespace

TEST_F(ProcessStart, MissingProgramFailsAtOnce) {
    EXPECT_FALSE(StartProgram(temp / "missing.exe", "a"));
    EXPECT_FALSE(StartProgramAndWait(temp / "missing.exe", "a"));
    EXPECT_FALSE(StartProgramAndWait("", ""));
}

TEST_F(ProcessStart, WaitReturnsAfterTheProgramEnded) {
    ASSERT_TRUE(StartProgramAndWait(engine, "/standin-stay=300 setup=x"));
    EXPECT_EQ(enginestandin::Starts(temp.Path()), 1);
    EXPECT_EQ(enginestandin::Ends(temp.Path()), 1);
    EXPECT_EQ(CommandLineSeen(), " /standin-stay=300 setup=x");
}

TEST_F(ProcessStart, CommandLineIsOneBlankAndTheArguments) {
    ASSERT_TRUE(StartProgramAndWait(engine, ""));
    EXPECT_EQ(CommandLineSeen(), " ");
    ASSERT_TRUE(StartProgramAndWait(engine, " a \"b c\""));
    EXPECT_EQ(CommandLineSeen(), "  a \"b c\"");
    EXPECT_EQ(enginestandin::Starts(temp.Path()), 2);
}

TEST_F(ProcessStart, StartDoesNotWait) {
    ASSERT_TRUE(StartProgram(engine, "/standin-stay=60000 /silent"));
    ASSERT_TRUE(PollFor([&] { return enginestandin::Starts(temp.Path()) == 1; }));
    EXPECT_EQ(enginestandin::Ends(temp.Path()), 0);
    EXPECT_EQ(CommandLineSeen(), " /standin-stay=60000 /silent");

    // End the stand-in now rather than in a minute, so that its folder can go.
    std::string log = testsupport::ReadFileBytes(temp / "ravell32.log");
    DWORD pid = std::strtoul(log.c_str() + std::string("start ").size(), nullptr, 10);
    KernelHandle child(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    ASSERT_TRUE(child);
    TerminateProcess(child.Get(), 0);
    EXPECT_EQ(WaitForSingleObject(child.Get(), 10000), WAIT_OBJECT_0);
}

// The platform takes command lines of up to 32,766 characters (32,767 with the terminating
// zero); the longest one must arrive whole, and a longer one must fail rather than arrive cut.
TEST_F(ProcessStart, LongestCommandLineReachesTheProgramWhole) {
    std::string arguments(32765, 'x');
    for (std::size_t i = 0; i < arguments.size(); i += 100)
        arguments[i] = ' ';
    arguments.replace(arguments.size() - 3, 3, "END");
    ASSERT_TRUE(StartProgramAndWait(engine, arguments));
    EXPECT_EQ(CommandLineSeen(), " " + arguments);
    arguments[1] = 'S';
    ASSERT_TRUE(StartProgram(engine, arguments));
    ASSERT_TRUE(PollFor([&] { return enginestandin::Ends(temp.Path()) == 2; }));
    EXPECT_EQ(CommandLineSeen(), " " + arguments);
}

TEST_F(ProcessStart, CommandLineBeyondThePlatformLimitIsRefused) {
    EXPECT_FALSE(StartProgramAndWait(engine, std::string(40000, 'y')));
    EXPECT_FALSE(StartProgram(engine, std::string(32766, 'y')));
    EXPECT_EQ(enginestandin::Starts(temp.Path()), 0);
}

namespace {

struct PumpRecord {
    int dispatched = 0;
    int endsAtDispatch = -1;
    std::string folder;
};
PumpRecord g_pump;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP + 1) {
        ++g_pump.dispatched;
        g_pump.endsAtDispatch = enginestandin::Ends(g_pump.folder);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

TEST_F(ProcessStart, CallersWindowsGetTheirMessagesDuringTheWait) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TarvoPumpRecorder";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    g_pump = PumpRecord{};
    g_pump.folder = temp.Path();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(PostMessageA(window, WM_APP + 1, 0, 0));

    ASSERT_TRUE(StartProgramAndWait(engine, "/standin-stay=500"));
    EXPECT_EQ(g_pump.dispatched, 3);
    EXPECT_EQ(g_pump.endsAtDispatch, 0) << "dispatched while the program ran";
    DestroyWindow(window);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

TEST(PumpOneMessage, HandlesAtMostOneMessage) {
    MSG stale;
    while (PeekMessageA(&stale, nullptr, 0, 0, PM_REMOVE)) {
    }
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 2, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 2, 0, 0);
    PumpOneMessage();
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 2, WM_APP + 2, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP + 2, WM_APP + 2, PM_REMOVE));
    PumpOneMessage(); // nothing pending: returns at once
}

namespace {

std::string ReadString(HKEY root, const std::string& key, const char* name) {
    char data[256];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegGetValueA(root, key.c_str(), name, RRF_RT_REG_SZ, &type, data, &size) != ERROR_SUCCESS)
        return {};
    return data;
}

} // namespace

// The merge is waited for: the values are there the moment the call returns. A "regedit.exe"
// in the current folder (here the engine stand-in under that name) is never the one started.
TEST(MergeRegistryFile, SystemEditorMergesBeforeTheCallReturns) {
    TempFolder temp;
    ScratchKey key;
    std::string folder = temp / "Registry Files";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::string impostor = folder + "\\regedit.exe";
    ASSERT_TRUE(CopyFileA(enginestandin::BuiltPath().c_str(), impostor.c_str(), FALSE));
    std::string file = folder + "\\merge me.reg";
    std::string target = "HKEY_CURRENT_USER\\" + key.KeyPath() + "\\Merged";
    ASSERT_TRUE(testsupport::WriteFileBytes(file, "REGEDIT4\r\n\r\n[" + target +
                                                      "]\r\n\"Name\"=\"merged value\"\r\n"
                                                      "\"Count\"=dword:0000002a\r\n\r\n"));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    bool merged = MergeRegistryFile(file);
    SetCurrentDirectoryA(previous);
    ASSERT_TRUE(merged);

    std::string subkey = key / "Merged";
    EXPECT_EQ(ReadString(key.Root(), subkey, "Name"), "merged value");
    DWORD count = 0;
    DWORD size = sizeof count;
    ASSERT_EQ(
        RegGetValueA(key.Root(), subkey.c_str(), "Count", RRF_RT_REG_DWORD, nullptr, &count, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(count, 42u);
    EXPECT_EQ(enginestandin::Starts(folder), 0) << "the editor in the current folder ran";
}
