#include "loader/medium.h"

#include "loader/resource_text.h"
#include "resources/resource.h"
#include "setup/core/path.h"
#include "setup/core/process.h"
#include "setup/core/text.h"

namespace {

class PlatformAnswers : public UserAnswers {
public:
    int AskMessage(const std::string& text, const std::string& caption, UINT flags) override {
        return MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
    }
    DWORD AskConnection(CONNECTDLGSTRUCTA& dialog) override {
        return WNetConnectionDialog1A(&dialog);
    }
};

// The prompt text of string `id` with its placeholders filled, in the order %2, %3, %1: the
// engine's file name, its root without a trailing backslash, the kind of medium.
std::string FillPrompt(UINT id, const std::string& enginePath, const std::string& root,
                       const std::string& medium) {
    std::string text = LoadResourceText(id);
    text = ReplaceFirst(text, "%2", FileNameOf(enginePath), false);
    text = ReplaceFirst(text, "%3", StripTrailingDelimiter(root, "\\"), false);
    return ReplaceFirst(text, "%1", medium, false);
}

// One round of asking: true when the user says the medium is there (OK, or a connection was
// made), false when the user cancelled or the dialog failed.
bool AskForMedium(const MediumPrompt& prompt, const std::string& caption, UserAnswers& answers) {
    if (prompt.mode == PromptMode::Message)
        return answers.AskMessage(prompt.text, caption, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;

    // The network resource to connect: a share is offered as a fixed, read-only remote name;
    // a drive letter as the local name, with the recently used shares to choose from. The
    // prompt travels as the resource's comment.
    std::string rootText = prompt.root;
    std::string comment = prompt.text;
    NETRESOURCEA resource = {};
    resource.dwType = RESOURCETYPE_DISK;
    resource.lpComment = &comment[0];
    CONNECTDLGSTRUCTA dialog = {};
    dialog.cbStructure = sizeof dialog;
    dialog.hwndOwner = nullptr;
    dialog.lpConnRes = &resource;
    if (IsUncPath(prompt.root)) {
        resource.lpRemoteName = &rootText[0];
        dialog.dwFlags = CONNDLG_HIDE_BOX | CONNDLG_NOT_PERSIST | CONNDLG_RO_PATH;
    } else {
        resource.lpLocalName = &rootText[0];
        dialog.dwFlags = CONNDLG_HIDE_BOX | CONNDLG_NOT_PERSIST | CONNDLG_USE_MRU;
    }
    return answers.AskConnection(dialog) == NO_ERROR;
}

} // namespace

UserAnswers& PlatformUserAnswers() {
    static PlatformAnswers answers;
    return answers;
}

int ExitCodeFor(LaunchOutcome outcome) {
    switch (outcome) {
    case LaunchOutcome::Started:
        return 0;
    case LaunchOutcome::StartFailed:
        return 1;
    case LaunchOutcome::GaveUp:
        return 2;
    }
    return 1;
}

MediumPrompt ChooseMediumPrompt(const std::string& enginePath) {
    MediumPrompt prompt;
    prompt.root = PathRoot(enginePath);
    const std::string& root = prompt.root;
    const UINT type = GetDriveTypeA(root.c_str());
    if (type == DRIVE_FIXED || CanOpenForReading(enginePath))
        return prompt;
    if (type == DRIVE_REMOVABLE || type == DRIVE_CDROM) {
        prompt.mode = PromptMode::Message;
        prompt.text = FillPrompt(IDS_INSERT_PROMPT, enginePath, root,
                                 type == DRIVE_REMOVABLE ? "Diskette" : "CD");
        return prompt;
    }
    // Remote drives, RAM disks and roots the platform cannot place: ask for a connection only
    // when the root itself cannot be reached.
    const int pathClass = ClassifyPath(root);
    if (pathClass == PathDriveRootMissing || pathClass == PathNetworkRootMissing) {
        prompt.mode = PromptMode::Network;
        prompt.text = FillPrompt(IDS_NETWORK_PROMPT, enginePath, root, "");
    }
    return prompt;
}

bool CheckMediumAndLaunch(const std::string& enginePath, const std::string& commandText, bool batch,
                          UserAnswers& answers, LaunchOutcome* outcome) {
    const MediumPrompt prompt = ChooseMediumPrompt(enginePath);
    if (prompt.mode != PromptMode::None) {
        const std::string caption = LoadResourceText(IDS_CAPTION);
        const std::string confirmation = LoadResourceText(IDS_CONFIRM_CANCEL);
        for (;;) {
            if (!AskForMedium(prompt, caption, answers)) {
                // Only an explicit No goes on asking. A confirmation box that could not be
                // shown at all counts as giving up: nobody is there to insert anything, and
                // asking again would spin for ever.
                const int answer =
                    answers.AskMessage(confirmation, caption, MB_YESNO | MB_ICONEXCLAMATION);
                if (answer != IDNO) {
                    if (outcome)
                        *outcome = LaunchOutcome::GaveUp;
                    return false;
                }
            }
            if (CanOpenForReading(enginePath))
                break;
        }
    }
    const bool started = batch ? StartProgramAndWait(enginePath, commandText)
                               : StartProgram(enginePath, commandText);
    if (outcome)
        *outcome = started ? LaunchOutcome::Started : LaunchOutcome::StartFailed;
    return started;
}
