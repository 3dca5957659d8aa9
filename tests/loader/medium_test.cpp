// The medium check against the test prefix's real drives (A: diskette, R: CD-ROM, N: network,
// Q: unmapped, C: fixed), with the user's answers scripted and the stand-in engine started.
#include "loader/medium.h"
#include "loader_support.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

using loadertest::EngineCommandLine;
using loadertest::EngineLog;
using loadertest::MediaDrive;
using loadertest::ScriptedAnswers;
using testsupport::TempFolder;

namespace {

const char* const Caption = "Tarvo Setup";
const char* const Confirmation =
    "Your installation is not completed yet and your programs may not work properly we "
    "strongly recommend to let the setup to complete. Do you want to cancel it anyway?";

} // namespace

TEST(MediumPrompt, DisketteCdAndNetworkTexts) {
    MediaDrive floppy('A', "floppy");
    MediaDrive cd('R', "cdrom");
    MediaDrive net('N', "net");
    MediumPrompt p = ChooseMediumPrompt("A:\\ravell32.dll");
    EXPECT_EQ(p.mode, PromptMode::Message);
    EXPECT_EQ(p.text, "Please insert Diskette containing ravell32.dll into drive (A:) and press "
                      "any key when ready.");
    p = ChooseMediumPrompt("r:\\kit\\engine.exe");
    EXPECT_EQ(p.mode, PromptMode::Message);
    EXPECT_EQ(p.text, "Please insert CD containing engine.exe into drive (r:) and press any key "
                      "when ready.");
    p = ChooseMediumPrompt("N:\\setup\\ravell32.dll");
    EXPECT_EQ(p.mode, PromptMode::Network);
    EXPECT_EQ(p.root, "N:");
    EXPECT_EQ(p.text, "Please login(attach) into drive/Server (N:)  containing ravell32.dll and "
                      "press any key when ready.");
    // A letter with no drive behind it cannot be reached either: the connection dialog.
    EXPECT_EQ(ChooseMediumPrompt("Q:\\ravell32.dll").mode, PromptMode::Network);
}

TEST(MediumPrompt, NoPromptWhenTheFileIsThereOrNeedsNoAsking) {
    TempFolder folder;
    // Fixed disk: never asked, present or not.
    EXPECT_EQ(ChooseMediumPrompt(folder / "ravell32.dll").mode, PromptMode::None);
    // CD with the disc in, connected network drive holding the file.
    MediaDrive cd('R', "cdrom");
    ASSERT_TRUE(cd.Insert());
    EXPECT_EQ(ChooseMediumPrompt("R:\\ravell32.dll").mode, PromptMode::None);
    MediaDrive net('N', "net");
    ASSERT_TRUE(net.Insert());
    EXPECT_EQ(ChooseMediumPrompt("N:\\ravell32.dll").mode, PromptMode::None);
    // Connected, but the file is not there: the root is reachable, so the start is attempted.
    EXPECT_EQ(ChooseMediumPrompt("N:\\other.dll").mode, PromptMode::None);
    // No root at all: nothing to ask for.
    EXPECT_EQ(ChooseMediumPrompt("no-such-engine.dll").mode, PromptMode::None);
}

TEST(MediumCheck, OkWithTheDisketteInsertedStartsTheEngine) {
    MediaDrive floppy('A', "floppy");
    ScriptedAnswers user;
    user.Answer(IDOK, [&] { ASSERT_TRUE(floppy.Insert()); });
    LaunchOutcome outcome = LaunchOutcome::GaveUp;
    EXPECT_TRUE(CheckMediumAndLaunch("A:\\ravell32.dll", "/batch x", true, user, &outcome));
    EXPECT_EQ(outcome, LaunchOutcome::Started);
    ASSERT_EQ(user.calls, "M");
    EXPECT_EQ(user.messages[0].text, "Please insert Diskette containing ravell32.dll into drive "
                                     "(A:) and press any key when ready.");
    EXPECT_EQ(user.messages[0].caption, Caption);
    EXPECT_EQ(user.messages[0].flags, 0x41u);
    // Batch mode waited for the engine to end.
    EXPECT_EQ(EngineCommandLine(floppy.Folder()), " /batch x");
    EXPECT_NE(loadertest::EngineEndLog(floppy.Folder()), "");
}

TEST(MediumCheck, OkWithoutTheDisketteAsksAgain) {
    MediaDrive floppy('A', "floppy");
    ScriptedAnswers user;
    user.Answer(IDOK).Answer(IDOK).Answer(IDOK, [&] { floppy.Insert(); });
    EXPECT_TRUE(CheckMediumAndLaunch("A:\\ravell32.dll", "/batch", true, user));
    EXPECT_EQ(user.calls, "MMM");
    EXPECT_EQ(user.messages[2].text, user.messages[0].text);
}

TEST(MediumCheck, CancelThenNoPromptsAgain) {
    MediaDrive floppy('A', "floppy");
    ScriptedAnswers user;
    user.Answer(IDCANCEL).Answer(IDNO).Answer(IDOK, [&] { floppy.Insert(); });
    EXPECT_TRUE(CheckMediumAndLaunch("A:\\ravell32.dll", "/batch", true, user));
    ASSERT_EQ(user.calls, "MMM");
    EXPECT_EQ(user.messages[1].text, Confirmation);
    EXPECT_EQ(user.messages[1].caption, Caption);
    EXPECT_EQ(user.messages[1].flags, 0x34u);
    EXPECT_EQ(user.messages[2].flags, 0x41u);
    EXPECT_EQ(EngineLog(floppy.Folder()).empty(), false);
}

TEST(MediumCheck, CancelThenYesGivesUpWithoutStartingAnything) {
    MediaDrive floppy('A', "floppy");
    ScriptedAnswers user;
    user.Answer(IDCANCEL).Answer(IDYES);
    LaunchOutcome outcome = LaunchOutcome::Started;
    EXPECT_FALSE(CheckMediumAndLaunch("A:\\ravell32.dll", "/batch", true, user, &outcome));
    EXPECT_EQ(outcome, LaunchOutcome::GaveUp);
    EXPECT_EQ(ExitCodeFor(outcome), 2);
    EXPECT_EQ(user.calls, "MM");
    EXPECT_EQ(EngineLog(floppy.Folder()), "");
}

TEST(MediumCheck, MessageBoxesThatCannotBeShownEndTheLoop) {
    // No desktop to show the boxes on (the platform answers 0 or -1): the prompt counts as
    // cancelled, and a confirmation nobody could answer as giving up.
    MediaDrive floppy('A', "floppy");
    for (int failure : {0, -1}) {
        ScriptedAnswers user;
        user.Answer(failure).Answer(failure);
        LaunchOutcome outcome = LaunchOutcome::Started;
        EXPECT_FALSE(CheckMediumAndLaunch("A:\\ravell32.dll", "", false, user, &outcome));
        EXPECT_EQ(outcome, LaunchOutcome::GaveUp);
        EXPECT_EQ(user.calls, "MM");
        EXPECT_EQ(user.unscripted, 0);
    }
}

TEST(MediumCheck, CdWithTheDiscInStartsWithoutAPrompt) {
    MediaDrive cd('R', "cdrom");
    ASSERT_TRUE(cd.Insert());
    ScriptedAnswers user;
    LaunchOutcome outcome = LaunchOutcome::GaveUp;
    EXPECT_TRUE(
        CheckMediumAndLaunch("R:\\ravell32.dll", "setup=R:\\ravell32.dll", false, user, &outcome));
    EXPECT_EQ(outcome, LaunchOutcome::Started);
    EXPECT_EQ(user.calls, "");
    // Not in batch mode: the loader does not wait; the engine records its start shortly.
    ASSERT_TRUE(loadertest::WaitForEngineStart(cd.Folder()));
    EXPECT_EQ(EngineCommandLine(cd.Folder()), " setup=R:\\ravell32.dll");
}

TEST(MediumCheck, DisconnectedNetworkDriveGoesThroughTheConnectionDialog) {
    MediaDrive net('N', "net");
    ScriptedAnswers user;
    user.Connect(NO_ERROR, [&] { ASSERT_TRUE(net.Insert()); });
    LaunchOutcome outcome = LaunchOutcome::GaveUp;
    EXPECT_TRUE(CheckMediumAndLaunch("N:\\ravell32.dll", "/silent", true, user, &outcome));
    EXPECT_EQ(outcome, LaunchOutcome::Started);
    ASSERT_EQ(user.calls, "C");
    const ScriptedAnswers::Connection& c = user.connections[0];
    EXPECT_EQ(c.structureSize, sizeof(CONNECTDLGSTRUCTA));
    EXPECT_EQ(c.owner, nullptr);
    EXPECT_EQ(c.flags, 0x2Cu);
    EXPECT_EQ(c.resourceType, static_cast<DWORD>(RESOURCETYPE_DISK));
    EXPECT_TRUE(c.hasLocalName);
    EXPECT_EQ(c.localName, "N:");
    EXPECT_FALSE(c.hasRemoteName);
    EXPECT_EQ(c.comment, "Please login(attach) into drive/Server (N:)  containing ravell32.dll "
                         "and press any key when ready.");
    EXPECT_EQ(EngineCommandLine(net.Folder()), " /silent");
}

TEST(MediumCheck, ConnectedButFileStillMissingAsksAgain) {
    // The connection succeeds but the share lacks the file: the dialog comes back.
    MediaDrive net('N', "net");
    ScriptedAnswers user;
    user.Connect(NO_ERROR, [&] { net.Connect(); }).Connect(NO_ERROR, [&] { net.Insert(); });
    EXPECT_TRUE(CheckMediumAndLaunch("N:\\ravell32.dll", "/batch", true, user));
    EXPECT_EQ(user.calls, "CC");
}

TEST(MediumCheck, ConnectionDialogErrorsCountAsCancel) {
    MediaDrive net('N', "net");
    for (DWORD error : {static_cast<DWORD>(ERROR_CANCELLED), static_cast<DWORD>(ERROR_NO_NETWORK),
                        static_cast<DWORD>(-1)}) {
        ScriptedAnswers user;
        user.Connect(error).Answer(IDYES);
        LaunchOutcome outcome = LaunchOutcome::Started;
        EXPECT_FALSE(CheckMediumAndLaunch("N:\\ravell32.dll", "/batch", true, user, &outcome));
        EXPECT_EQ(outcome, LaunchOutcome::GaveUp);
        ASSERT_EQ(user.calls, "CM");
        EXPECT_EQ(user.messages[0].text, Confirmation);
        EXPECT_EQ(user.messages[0].flags, 0x34u);
    }
}

TEST(MediumCheck, UncEngineGivesTheShareAsReadOnlyRemoteName) {
    ScriptedAnswers user;
    user.Connect(ERROR_CANCELLED).Answer(IDYES);
    EXPECT_FALSE(
        CheckMediumAndLaunch("\\\\tarvo-nosuchhost\\kit\\setup\\ravell32.dll", "", false, user));
    ASSERT_EQ(user.calls, "CM");
    const ScriptedAnswers::Connection& c = user.connections[0];
    EXPECT_EQ(c.flags, 0x29u);
    EXPECT_TRUE(c.hasRemoteName);
    EXPECT_EQ(c.remoteName, "\\\\tarvo-nosuchhost\\kit");
    EXPECT_FALSE(c.hasLocalName);
    EXPECT_EQ(c.resourceType, static_cast<DWORD>(RESOURCETYPE_DISK));
    EXPECT_EQ(c.comment, "Please login(attach) into drive/Server (\\\\tarvo-nosuchhost\\kit)  "
                         "containing ravell32.dll and press any key when ready.");
}

TEST(MediumCheck, MissingEngineOnAFixedDiskFailsWithoutAPrompt) {
    TempFolder folder;
    ScriptedAnswers user;
    LaunchOutcome outcome = LaunchOutcome::Started;
    EXPECT_FALSE(CheckMediumAndLaunch(folder / "ravell32.dll", "/batch", true, user, &outcome));
    EXPECT_EQ(outcome, LaunchOutcome::StartFailed);
    EXPECT_EQ(ExitCodeFor(outcome), 1);
    EXPECT_EQ(user.calls, "");
    // The same without a root: the start is attempted at once, and fails.
    EXPECT_FALSE(CheckMediumAndLaunch("tarvo-no-such-engine.dll", "", false, user, &outcome));
    EXPECT_EQ(outcome, LaunchOutcome::StartFailed);
    EXPECT_EQ(user.calls, "");
}

TEST(MediumCheck, LongCommandTextsReachTheEngineWhole) {
    TempFolder folder;
    ASSERT_TRUE(loadertest::PlaceEngine(folder / "ravell32.dll"));
    std::string text = "/batch setup=" + (folder / "ravell32.dll") + " ";
    for (int i = 0; text.size() < 30000; ++i)
        text += "/opt" + std::to_string(i) + "=value ";
    ScriptedAnswers user;
    EXPECT_TRUE(CheckMediumAndLaunch(folder / "ravell32.dll", text, true, user));
    EXPECT_EQ(EngineCommandLine(folder.Path()), " " + text);
}
