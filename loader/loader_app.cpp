#include "loader/loader_app.h"

#include "loader/disclaimer.h"
#include "loader/medium.h"
#include "loader/resource_text.h"
#include "resources/resource.h"
#include "setup/core/path.h"
#include "setup/core/text.h"

#include <vector>

std::string CommandTextOf(const std::string& commandLine) {
    std::size_t i = 0;
    const std::size_t n = commandLine.size();
    // The program's name: a quoted name runs to the closing quote, a plain one to the first
    // blank or tab.
    if (i < n && commandLine[i] == '"') {
        ++i;
        while (i < n && commandLine[i] != '"')
            ++i;
        if (i < n)
            ++i;
    } else {
        while (i < n && commandLine[i] != ' ' && commandLine[i] != '\t')
            ++i;
    }
    while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t'))
        ++i;
    return commandLine.substr(i);
}

LoaderCommand ParseCommandText(const std::string& commandText) {
    static const std::string keyWord = "setup=";
    LoaderCommand command;
    command.commandText = ReplaceAll(commandText, keyWord, keyWord, false);
    const std::size_t at = FindText(command.commandText, keyWord, true);
    if (at != TextNotFound) {
        std::string value = command.commandText.substr(at + keyWord.size());
        std::string terminator = " ";
        if (!value.empty() && value[0] == '"') {
            value.erase(0, 1);
            terminator = "\"";
        }
        command.enginePath = NthField(value, terminator, 1);
    }
    command.batch = ContainsText(command.commandText, "/silent", false) ||
                    ContainsText(command.commandText, "/batch", false);
    return command;
}

std::string LoaderDirectoryOf(const std::string& programFile) {
    const std::size_t slash = programFile.rfind('\\');
    return slash == std::string::npos ? std::string() : programFile.substr(0, slash);
}

std::string RunningProgramFile() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::string();
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        if (buffer.size() >= 32768)
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

bool LoaderApp::InitInstance(const std::string& commandLine) {
    const LoaderCommand command = ParseCommandText(CommandTextOf(commandLine));
    const std::string loaderDirectory = LoaderDirectoryOf(RunningProgramFile());

    m_enginePath = command.enginePath;
    if (m_enginePath.empty())
        m_enginePath = JoinPath(loaderDirectory, LoadResourceText(IDS_ENGINE_NAME), true);
    m_caption = LoadResourceText(IDS_CAPTION);
    m_batch = command.batch;

    if (!m_batch) {
        const std::string disclaimerFile = LoadResourceText(IDS_DISCLAIMER_FILE);
        if (!Trimmed(disclaimerFile).empty()) {
            m_disclaimerPath = JoinPath(loaderDirectory, disclaimerFile, true);
            DisclaimerDialog dialog(m_caption, ReadDisclaimerText(m_disclaimerPath));
            dialog.DoModal(&m_mainWindow);
        }
    }

    LaunchOutcome outcome = LaunchOutcome::StartFailed;
    CheckMediumAndLaunch(m_enginePath, command.commandText, m_batch, PlatformUserAnswers(),
                         &outcome);
    m_exitCode = ExitCodeFor(outcome);
    return false;
}
