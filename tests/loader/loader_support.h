// Helpers of the loader tests: where the built loader and the stand-in engine are, the test
// prefix's diskette, CD and network drives, scripted user answers and runs of the real loader.
#pragma once

#include "loader/medium.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace loadertest {

// Windows paths of the built x86_64 loader and of the stand-in setup engine.
std::string QuendaExe();
std::string StandinEngine();

// Copies the stand-in engine to `path` (normally a file named ravell32.dll).
bool PlaceEngine(const std::string& path);
// What the stand-in engine records beside itself: the command line it received, its log of
// starts and its log of ends (one line each per run). Empty when nothing was recorded.
std::string EngineCommandLine(const std::string& engineFolder);
std::string EngineLog(const std::string& engineFolder);
std::string EngineEndLog(const std::string& engineFolder);
// Waits (bounded) until the engine in `engineFolder` has recorded a start.
bool WaitForEngineStart(const std::string& engineFolder, DWORD timeoutMs = 20000);

// One of the test prefix's removable or network drives (A: diskette, R: CD-ROM, N: network).
// The fixture removes everything it put into the drive's folder; for N: it also decides
// whether the drive is "connected" (its folder exists) and disconnects it at the end.
class MediaDrive {
public:
    MediaDrive(char letter, const std::string& mediaFolderName);
    ~MediaDrive();
    MediaDrive(const MediaDrive&) = delete;
    MediaDrive& operator=(const MediaDrive&) = delete;

    // "A:\name" and the Linux-side folder behind the drive, as a Windows (Z:) path.
    std::string OnDrive(const std::string& name) const;
    const std::string& Folder() const { return m_folder; }
    // Creates the drive's folder (for N:, connects the drive).
    void Connect();
    // Inserts the medium: connects and puts the stand-in engine there as ravell32.dll.
    bool Insert();
    // Removes the engine and what it recorded (the drive's folder stays).
    void Eject();

private:
    char m_letter;
    std::string m_folder;
    bool m_folderExisted;
};

// Scripted user: every message box and connection dialog is recorded, and answered from the
// script in order. An answer may run an action first (say, inserting the diskette).
class ScriptedAnswers : public UserAnswers {
public:
    struct Message {
        std::string text;
        std::string caption;
        UINT flags;
    };
    struct Connection {
        DWORD structureSize;
        HWND owner;
        DWORD flags;
        DWORD resourceType;
        bool hasLocalName;
        std::string localName;
        bool hasRemoteName;
        std::string remoteName;
        std::string comment;
    };
    struct Step {
        bool connection; // a connection dialog is expected (otherwise a message box)
        long result;
        std::function<void()> action;
    };

    // A message box answered with `button`, a connection dialog answered with `result`.
    ScriptedAnswers& Answer(int button, std::function<void()> action = nullptr);
    ScriptedAnswers& Connect(DWORD result, std::function<void()> action = nullptr);

    int AskMessage(const std::string& text, const std::string& caption, UINT flags) override;
    DWORD AskConnection(CONNECTDLGSTRUCTA& dialog) override;

    std::vector<Message> messages;
    std::vector<Connection> connections;
    // Calls in order: 'M' message box, 'C' connection dialog.
    std::string calls;
    // Questions asked after the script ran out (answered with IDCANCEL / ERROR_CANCELLED,
    // or, after 20 of them, with Yes to end the loop).
    int unscripted = 0;

private:
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
};

// Runs a copy of the loader named for this run's Windows version from `folder` with the
// command text; returns its exit code (-1 when it did not start or end in time).
long RunQuenda(const std::string& folder, const std::string& commandText, DWORD timeoutMs = 60000);
// Copies the loader into `folder` under the name RunQuenda starts.
bool PlaceQuenda(const std::string& folder);

} // namespace loadertest
