// What the tests of the line file, INI files and restart scheduling share: every test gets a
// fresh folder with a private temporary folder (TMP) inside it, so that left temporary files
// show, and a work folder beside it.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/core/handles.h"
#include "support/fixtures.h"

using testsupport::FilesIn;

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldTmp = testsupport::EnvText("TMP");
        temp = m_folder / "tmp";
        CreateDirectoryA(temp.c_str(), nullptr);
        SetEnvironmentVariableA("TMP", temp.c_str());
        work = m_folder / "work";
        CreateDirectoryA(work.c_str(), nullptr);
    }
    void TearDown() override {
        SetEnvironmentVariableA("TMP", m_oldTmp.empty() ? nullptr : m_oldTmp.c_str());
    }
    std::string Work(const std::string& name) const { return work + "\\" + name; }
    // A folder inside the test's own folder, made here.
    std::string MakeFolder(const std::string& name) {
        const std::string folder = m_folder / name;
        CreateDirectoryA(folder.c_str(), nullptr);
        return folder;
    }

    std::string temp;
    std::string work;

private:
    testsupport::TempFolder m_folder;
    std::string m_oldTmp;
};
