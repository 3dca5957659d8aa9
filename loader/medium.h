// The medium check: makes sure the file of the setup engine can be reached (asking for a
// diskette, a CD or a network connection until it is there or the user gives up) and starts it.
#pragma once

#include <windows.h>

#include <winnetwk.h>

#include <string>

// The user's answers: the loader's message boxes and the network connection dialog. The real
// one shows them; tests replace it with scripted answers.
class UserAnswers {
public:
    virtual ~UserAnswers() = default;
    // A message box with no owner window; returns the button chosen (IDOK, IDCANCEL, IDYES,
    // IDNO), or another value when the box could not be shown.
    virtual int AskMessage(const std::string& text, const std::string& caption, UINT flags) = 0;
    // The dialog that connects a network drive; returns the platform's result (NO_ERROR when a
    // connection was made).
    virtual DWORD AskConnection(CONNECTDLGSTRUCTA& dialog) = 0;
};

// The real answers: MessageBoxA and WNetConnectionDialog1A.
UserAnswers& PlatformUserAnswers();

enum class LaunchOutcome {
    Started,     // the engine process was created (and, in batch mode, has ended)
    StartFailed, // the engine process could not be created
    GaveUp,      // the user confirmed giving up at a medium prompt; nothing was started
};

// The loader's exit code for an outcome: 0 started, 1 start failed, 2 given up.
int ExitCodeFor(LaunchOutcome outcome);

enum class PromptMode { None, Message, Network };

// How the engine's medium is asked for: the root of the engine path (found once, as finding a
// share's root may probe the network) and the prompt text with its placeholders filled.
struct MediumPrompt {
    PromptMode mode = PromptMode::None;
    std::string root;
    std::string text;
};

// Decides whether to ask for the medium of `enginePath` and how: not when the engine lies on a
// fixed disk or can be read; a message for a diskette or CD drive; the connection dialog when
// the root of any other drive or share cannot be reached; otherwise no prompt at all.
MediumPrompt ChooseMediumPrompt(const std::string& enginePath);

// Asks for the medium (unless the file is there or needs no asking) and starts the engine with
// the command text as its arguments: waiting for it to end in batch mode, at once otherwise.
// Returns true when the engine process was created; `outcome`, when given, tells a failed start
// from the user's giving up.
bool CheckMediumAndLaunch(const std::string& enginePath, const std::string& commandText, bool batch,
                          UserAnswers& answers = PlatformUserAnswers(),
                          LaunchOutcome* outcome = nullptr);
