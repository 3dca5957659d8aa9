// A test fixture for element kinds that act on files: a fresh temporary folder that "<D>" names
// (the process-wide macro context is enabled for the test and put back afterwards).
#pragma once

#include "setup/core/element.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

class DestinationTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetupContext& context = TheSetupContext();
        m_savedD = context.MacroD.str();
        m_savedEnabled = context.Enabled;
        context.Enabled = 1;
        context.MacroD = m_temp.Path();
    }
    void TearDown() override {
        SetupContext& context = TheSetupContext();
        context.MacroD = m_savedD;
        context.Enabled = m_savedEnabled;
    }

    std::string Path(const std::string& name) const { return m_temp / name; }
    static DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }
    // Opens the file without sharing, as a program that has it in use does.
    static KernelHandle Lock(const std::string& path) {
        return KernelHandle(
            CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    static void Target(WSetupElement& element, const std::string& dir, const std::string& name) {
        element.DestDir = dir;
        element.DestName = name;
    }

    TempFolder m_temp;

private:
    std::string m_savedD;
    int m_savedEnabled = 0;
};

} // namespace testsupport
