#include "setup/elements/shortcut.h"

#include <windows.h>

#include <string>
#include <utility>

#include "setup/core/fileutil.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/progman.h"
#include "setup/core/shelllink.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"
#include "setup/elements/protected_folders.h"

FW_IMPLEMENT_DYNCREATE(WSetupShortcut, WSetupElement)

namespace {

constexpr ElementField ShortcutFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("Group", &WSetupShortcut::Group, 2, ShortForm::Kept),
    TextField("LinkName", &WSetupShortcut::LinkName, 3, ShortForm::Kept),
    TextField("DestDir", &WSetupElement::DestDir, 4, ShortForm::Kept),
    TextField("DestName", &WSetupElement::DestName, 5, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 6, ShortForm::Kept),
    FlagField("LinkFlag", &WSetupShortcut::LinkFlag, 7, ShortForm::Kept),
    TextField("Arguments", &WSetupShortcut::Arguments, 8),
    TextField("WorkDir", &WSetupShortcut::WorkDir, 9),
    TextField("IconDir", &WSetupShortcut::IconDir, 10),
    TextField("IconName", &WSetupShortcut::IconName, 11),
    IntegerField("IconIndex", &WSetupShortcut::IconIndex, 12),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 13, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 14, ShortForm::Blank),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 15, ShortForm::Blank),
};

} // namespace

// The arguments may hold ","; the short record leaves out the program's details.
const ElementFieldTable WSetupShortcutFields =
    MakeFieldTable(ShortcutFields, nullptr, true, 0, false, 8);

namespace {

constexpr StatusMeaning ShortcutMeaningRows[] = {
    {ElementStep::Install, ShortcutMade, StepMeaning::Done},
    {ElementStep::Undo, ShortcutRemoved, StepMeaning::Done},
    {ElementStep::Undo, ShortcutNotToBeRemoved, StepMeaning::NothingToDo},
    {ElementStep::Check, ShortcutPresent, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName ShortcutStatusNames[] = {
    {ElementStep::Install, ShortcutMade, "ShortcutMade"},
    {ElementStep::Install, ShortcutTargetAbsent, "ShortcutTargetAbsent"},
    {ElementStep::Install, ShortcutLinkFailed, "ShortcutLinkFailed"},
    {ElementStep::Install, ShortcutNoProgramGroup, "ShortcutNoProgramGroup"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ShortcutRemoved, "ShortcutRemoved"},
    {ElementStep::Undo, ShortcutNotToBeRemoved, "ShortcutNotToBeRemoved"},
    {ElementStep::Undo, ShortcutNotRemoved, "ShortcutNotRemoved"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ShortcutPresent, "ShortcutPresent"},
    {ElementStep::Check, ShortcutMissing, "ShortcutMissing"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

} // namespace

const StepMeaningTable WSetupShortcutMeanings =
    MakeMeaningTable(ShortcutMeaningRows, ShortcutStatusNames);

WSetupShortcut::WSetupShortcut() : WSetupElement(KindShortcut) {}

namespace {

bool IsKGroup(const std::string& group) {
    return EqualText(group, "<K>", false);
}

// The group folder of a group text. A group that is "<K>" in any letter case names the "<K>"
// folder: macros themselves are only known in capitals.
std::string GroupFolderOf(const std::string& group) {
    return TheSetupContext().ResolveGroupPath(IsKGroup(group) ? std::string("<K>") : group);
}

} // namespace

int WSetupShortcut::InstallStep(FwStringArray& groupFolders) {
    SetupContext& context = TheSetupContext();
    DestDir = context.ExpandVariables(DestDir);
    LinkName = context.ExpandVariables(LinkName);
    Group = context.ExpandVariables(Group);
    std::string target = context.ResolvePath(DestDir, DestName);
    std::string iconPath;
    if (!IconDir.empty() && !IconName.empty()) {
        IconDir = context.ExpandVariables(IconDir);
        iconPath = context.ResolvePath(IconDir, IconName);
    }
    if (!CanOpenForReading(target))
        return Status = ShortcutTargetAbsent;

    std::string groupFolder = GroupFolderOf(Group);
    Arguments = ExpandText(Arguments);
    std::string programGroup = ExpandText("<G>");
    WorkDir = WorkDir.empty() ? ParentOf(target) : ExpandText(WorkDir);
    groupFolders.Add(groupFolder);

    if (!ThePlatformVersion().NewShell()) {
        if (programGroup.empty())
            return Status = ShortcutNoProgramGroup;
        // The program manager's answers do not change the outcome.
        std::string commandLine = "\"" + target + "\"" + Arguments.str();
        (void)PmCreateGroup(programGroup.c_str(), nullptr);
        (void)PmAddProgramItem(programGroup.c_str(), LinkName.c_str(), commandLine.c_str(),
                               WorkDir.c_str());
        return Status = ShortcutMade;
    }

    if (!IsKGroup(Group))
        (void)CreateDirectoryTree(groupFolder); // a missing folder fails the link below
    std::string targetText = target + ShellLinkArgumentMark + " " + Arguments.str();
    bool made = CreateShellLink(groupFolder, LinkName, targetText, WorkDir, iconPath, IconIndex);
    return Status = made ? ShortcutMade : ShortcutLinkFailed;
}

int WSetupShortcut::UninstallStep(FwStringArray& removedLinks) {
    ChangeMark = 0;
    if (!RemoveOnUninstall)
        return Status = ShortcutNotToBeRemoved;
    SetupContext& context = TheSetupContext();
    DestDir = context.ExpandVariables(DestDir);
    std::string groupFolder = GroupFolderOf(Group);
    std::string programGroup = ExpandText("<G>");

    if (!ThePlatformVersion().NewShell()) {
        // The deletion's answer is the outcome; showing the group only selects it for the
        // deletion, and a group that keeps other items rightly stays.
        (void)PmShowGroup(programGroup.c_str(), 1);
        bool deleted = PmDeleteItem(LinkName.c_str());
        (void)PmDeleteGroupIfEmpty(programGroup.c_str());
        return Status = deleted ? ShortcutRemoved : ShortcutNotRemoved;
    }

    std::string linkFile = JoinPath(groupFolder, LinkName.str() + ".LNK", true);
    if (!DeleteFileA(linkFile.c_str()))
        return Status = ShortcutNotRemoved;
    // The desktop stays even when its last shortcut goes; a group folder left empty goes, and
    // so do its parents that are left empty.
    std::string folder = ParentOf(linkFile);
    if (!EqualText(folder, TheSystemFolders().Desktop(), false)) {
        (void)RemoveEmptyFoldersUpFrom(folder); // a folder that keeps other files stays
        removedLinks.Add(linkFile);
    }
    return Status = ShortcutRemoved;
}

int WSetupShortcut::Verify() {
    SetupContext& context = TheSetupContext();
    DestDir = context.ExpandVariables(DestDir);
    std::string groupFolder = GroupFolderOf(Group);
    if (!ThePlatformVersion().NewShell())
        return Status = ShortcutPresent;
    return Status = CanOpenForReading(JoinPath(groupFolder, LinkName.str() + ".LNK", false))
                        ? ShortcutPresent
                        : ShortcutMissing;
}

FwString WSetupShortcut::GetFullRecord() {
    return WriteFullRecord(*this, WSetupShortcutFields);
}

FwString WSetupShortcut::GetShortRecord() {
    return WriteShortRecord(*this, WSetupShortcutFields);
}

FwString WSetupShortcut::GetGroup() const {
    return Group;
}
void WSetupShortcut::SetGroup(FwString group) {
    Group = std::move(group);
}
FwString WSetupShortcut::GetLinkName() const {
    return LinkName;
}
void WSetupShortcut::SetLinkName(FwString name) {
    LinkName = std::move(name);
}
FwString WSetupShortcut::GetArguments() const {
    return Arguments;
}
void WSetupShortcut::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}
FwString WSetupShortcut::GetWorkDir() const {
    return WorkDir;
}
void WSetupShortcut::SetWorkDir(FwString dir) {
    WorkDir = std::move(dir);
}
FwString WSetupShortcut::GetIconDir() const {
    return IconDir;
}
void WSetupShortcut::SetIconDir(FwString dir) {
    IconDir = std::move(dir);
}
FwString WSetupShortcut::GetIconName() const {
    return IconName;
}
void WSetupShortcut::SetIconName(FwString name) {
    IconName = std::move(name);
}
