// The loader's application object: reads the command line, shows the disclaimer in interactive
// mode, makes sure the medium that holds the setup engine is there and starts the engine.
#pragma once

#include <windows.h>

#include <string>

// What the loader takes from its command text.
struct LoaderCommand {
    // The command text with every "setup=" key word (in any letter case) written in lower case;
    // all other text keeps its case. This is what the engine receives.
    std::string commandText;
    // The "setup=" value: quoted (up to the closing quote, or to the end) or up to the first
    // blank, trimmed. Empty when there is no key word or its value is empty.
    std::string enginePath;
    // "/silent" or "/batch" occurs anywhere, in any letter case.
    bool batch = false;
};

// The command text of a full command line as the platform keeps it: everything after the
// program's own name (quoted or not), with the blanks that follow the name removed.
std::string CommandTextOf(const std::string& commandLine);
// Normalises the key word and takes the engine path and the batch flag from a command text.
LoaderCommand ParseCommandText(const std::string& commandText);
// The folder of a program file: the text before its last backslash.
std::string LoaderDirectoryOf(const std::string& programFile);
// The full file name of the running program, as the platform reports it.
std::string RunningProgramFile();

class LoaderApp {
public:
    LoaderApp() = default;
    LoaderApp(const LoaderApp&) = delete;
    LoaderApp& operator=(const LoaderApp&) = delete;

    // The start-up hook, called once with the process's command line: runs the whole loader
    // (command line, disclaimer, medium check, engine start) and returns false, so that no
    // message loop follows.
    bool InitInstance(const std::string& commandLine);

    // The program's exit code after InitInstance (see ExitCodeFor).
    int ExitCode() const { return m_exitCode; }
    const std::string& EnginePath() const { return m_enginePath; }
    const std::string& DisclaimerPath() const { return m_disclaimerPath; }
    const std::string& Caption() const { return m_caption; }
    bool Batch() const { return m_batch; }
    // The disclaimer dialog while it is shown; null otherwise.
    HWND MainWindow() const { return m_mainWindow; }

private:
    std::string m_enginePath;
    std::string m_disclaimerPath;
    std::string m_caption;
    bool m_batch = false;
    HWND m_mainWindow = nullptr;
    int m_exitCode = 0;
};
