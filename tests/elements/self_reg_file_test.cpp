// Self-registration: CallRegistrationEntry and the self-registering module element over the
// test modules (tests/material/selfreg), each copied into a temporary folder of the test.
#include "setup/core/handles.h"
#include "setup/elements/self_reg_file.h"

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "material/material.h"
#include "support/fixtures.h"

namespace {

class SelfRegTest : public ::testing::Test {
protected:
    // Copies selfreg_<behaviour>.dll into the test's folder and returns its path.
    std::string Module(const std::string& behaviour) {
        const std::string name = "selfreg_" + behaviour + ".dll";
        const std::string path = m_folder / name;
        EXPECT_TRUE(material::CopyTo("selfreg", name, path)) << name;
        return path;
    }
    // An element naming a module of the test's folder.
    WSetupSelfRegFile& Element(const std::string& behaviour) {
        m_element.DestDir = m_folder.Path();
        m_element.DestName = "selfreg_" + behaviour + ".dll";
        return m_element;
    }
    // The marker the module's entry wrote ("registered" or "unregistered"); empty when the
    // entry was not called.
    std::string Marker(const std::string& behaviour, const char* which) const {
        return testsupport::ReadFileBytes(m_folder / ("selfreg_" + behaviour + ".dll." + which));
    }

    testsupport::TempFolder m_folder;
    WSetupSelfRegFile m_element;
};

} // namespace

TEST_F(SelfRegTest, RegistersAndUnregistersAModule) {
    Module("ok");
    WSetupSelfRegFile& element = Element("ok");
    FwString error = "stale";
    EXPECT_EQ(element.InstallStep(error, 0), ModuleRegistered);
    EXPECT_EQ(element.Status, ModuleRegistered);
    EXPECT_EQ(error, "");
    EXPECT_EQ(Marker("ok", "registered"), "calls=1\ncom=1\n") << "OLE is initialised around it";
    element.ChangeMark = 1;
    EXPECT_EQ(element.UninstallStep(error), ModuleUnregistered);
    EXPECT_EQ(element.ChangeMark, 0);
    EXPECT_EQ(Marker("ok", "unregistered"), "calls=1\ncom=1\n")
        << "the module was unloaded in between";
    EXPECT_EQ(element.Verify(), ModulePresent);
}

TEST_F(SelfRegTest, EntryResultsOtherThanZeroAreFailures) {
    Module("s_false");
    WSetupSelfRegFile& element = Element("s_false");
    FwString error;
    EXPECT_EQ(element.InstallStep(error, 0), RegisterEntryFailed);
    EXPECT_EQ(element.UninstallStep(error), UnregisterEntryFailed);
    EXPECT_EQ(element.Status, UnregisterEntryFailed);
}

TEST_F(SelfRegTest, CrashesInTheEntryAreContainedAndTheNextModuleRegisters) {
    Module("crash");
    Module("throw");
    Module("foreign");
    Module("ok");
    FwString error;
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(Element("crash").InstallStep(error, 0), RegisterCrashed);
        EXPECT_EQ(Element("crash").UninstallStep(error), UnregisterCrashed);
#if defined(_WIN64)
        // A GCC module's uncaught C++ exception is a platform exception only on x86_64; at 32
        // bits its own run-time ends the process (setup/elements/crash_guard.h).
        EXPECT_EQ(Element("throw").InstallStep(error, 0), RegisterCrashed)
            << "a C++ exception the module does not catch";
#endif
        EXPECT_EQ(Element("foreign").InstallStep(error, 0), RegisterCrashed)
            << "a Visual C++ exception code the module does not catch";
        EXPECT_EQ(Element("foreign").UninstallStep(error), UnregisterCrashed);
        EXPECT_EQ(Element("ok").InstallStep(error, 0), ModuleRegistered);
    }
    EXPECT_EQ(Marker("crash", "registered"), "calls=1\ncom=1\n") << "reloaded for each call";
    EXPECT_EQ(Marker("ok", "registered"), "calls=1\ncom=1\n");
}

TEST_F(SelfRegTest, AnExceptionTheModuleCatchesItselfIsNoCrash) {
    Module("catch");
    FwString error;
    EXPECT_EQ(Element("catch").InstallStep(error, 0), ModuleRegistered);
    EXPECT_EQ(Element("catch").UninstallStep(error), ModuleUnregistered);
}

TEST_F(SelfRegTest, AMissingDependencyFailsTheLoadWithTheErrorCode) {
    Module("missing_dependency");
    FwString error;
    EXPECT_EQ(Element("missing_dependency").InstallStep(error, 0), RegisterLoadFailed);
    EXPECT_TRUE(std::regex_match(error.str(), std::regex("0x[0-9a-f]{8}"))) << error;
    if (testsupport::PlatformId() == VER_PLATFORM_WIN32_NT) {
        EXPECT_EQ(error, "0x0000007e");
    }
    error = "";
    EXPECT_EQ(Element("missing_dependency").UninstallStep(error), UnregisterLoadFailed);
    EXPECT_NE(error, "");
}

TEST_F(SelfRegTest, ModuleWithoutTheEntry) {
    ASSERT_TRUE(material::CopyTo("versioned", "ver_none.dll", m_folder / "selfreg_none.dll"));
    FwString error;
    EXPECT_EQ(Element("none").InstallStep(error, 0), RegisterNoEntry);
    EXPECT_EQ(Element("none").UninstallStep(error), UnregisterNoEntry);
    EXPECT_EQ(error, "");
}

TEST_F(SelfRegTest, AbsentModuleAndSkippedUninstall) {
    WSetupSelfRegFile& element = Element("absent");
    FwString error = "kept";
    EXPECT_EQ(element.InstallStep(error, 0), RegisterModuleAbsent);
    EXPECT_EQ(element.UninstallStep(error), UnregisterModuleAbsent);
    EXPECT_EQ(element.Verify(), ModuleMissing);
    EXPECT_EQ(error, "kept") << "nothing was loaded";

    Module("ok");
    Element("ok").RemoveOnUninstall = 0;
    Element("ok").ChangeMark = 1;
    EXPECT_EQ(Element("ok").UninstallStep(error), UnregisterSkipped);
    EXPECT_EQ(Element("ok").ChangeMark, 0);
    EXPECT_EQ(Marker("ok", "unregistered"), "");
}

TEST_F(SelfRegTest, ErrorModeAndOleStateArePutBack) {
    const std::string ok = Module("ok");
    const std::string crash = Module("crash");
    const UINT before = SetErrorMode(SEM_NOGPFAULTERRORBOX);
    std::string error;
    EXPECT_EQ(RegisterModule(ok, error), RegistrationDone);
    EXPECT_EQ(RegisterModule(crash, error), RegistrationCrashed);
    EXPECT_EQ(UnregisterModule(crash + ".absent", error), RegistrationLoadFailed);
    EXPECT_EQ(SetErrorMode(before), UINT(SEM_NOGPFAULTERRORBOX));
    // Not left initialised: a fresh initialisation is the first one.
    EXPECT_EQ(ComScope().Result(), S_OK);

    // A thread already initialised by its caller keeps exactly that initialisation.
    {
        ComScope caller;
        ASSERT_EQ(caller.Result(), S_OK);
        EXPECT_EQ(RegisterModule(ok, error), RegistrationDone);
    }
    EXPECT_EQ(ComScope().Result(), S_OK);
}

TEST_F(SelfRegTest, AThreadInTheMultithreadedApartmentIsUsedAsItIs) {
    struct Run {
        std::string path;
        int result = 0;
        HRESULT after = E_FAIL;
        static DWORD WINAPI Thread(void* p) {
            Run& run = *static_cast<Run*>(p);
            if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
                return 1;
            std::string error;
            run.result = RegisterModule(run.path, error);
            // Still in the multithreaded apartment, with one initialisation to undo.
            run.after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (SUCCEEDED(run.after))
                CoUninitialize();
            CoUninitialize();
            return 0;
        }
    } run;
    run.path = Module("ok");
    KernelHandle thread(CreateThread(nullptr, 0, &Run::Thread, &run, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WaitForSingleObject(thread.Get(), 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(thread.Get(), &code);
    ASSERT_EQ(code, 0u);
    EXPECT_EQ(run.result, RegistrationDone);
    EXPECT_EQ(run.after, S_FALSE);
    EXPECT_EQ(Marker("ok", "registered"), "calls=1\ncom=1\n");
}
