#include "setup/elements/ttf_file.h"

#include <windows.h>

#include <string>
#include <utility>

#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"
#include "setup/elements/protected_folders.h"

FW_IMPLEMENT_DYNCREATE(WSetupTTFFile, WSetupElement)

namespace {

const char Win9xFontList[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts\\";
const char NtFontList[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\";
const char ValueNameSuffix[] = " (TrueType)";
// How long each top-level window may take to answer WM_FONTCHANGE.
constexpr UINT FontChangeTimeoutMs = 1000;
// A font added more often than this is not looked for further when it is removed.
constexpr int MaxRemovals = 64;

bool BuildsResourceFile(const PlatformVersion& platform) {
    return platform.PlatformId() == VER_PLATFORM_WIN32_NT && !platform.NewShell();
}

// The ".FOT" resource built for the font file at `path` on NT before the new shell.
std::string ResourceFileFor(const std::string& path) {
    const std::string folder = JoinPath(TheSystemFolders().Windows(), "system", true);
    return JoinPath(folder, TextBefore(FileNameOf(path), ".") + ".FOT", true);
}

// The text the font list holds for the registered file.
std::string ListTextFor(const PlatformVersion& platform, const std::string& registered) {
    if (platform.NewShell() &&
        EqualText(WithoutTrailingBackslash(ParentOf(registered)),
                  WithoutTrailingBackslash(TheSystemFolders().Fonts()), false))
        return FileNameOf(registered);
    return registered;
}

// True when the font-list text names the font file at `path` in any form RegisterFontFile
// writes for it.
bool ListTextNames(const PlatformVersion& platform, const std::string& text,
                   const std::string& path) {
    if (text.empty())
        return false;
    if (EqualText(text, path, false) || EqualText(text, ListTextFor(platform, path), false))
        return true;
    return BuildsResourceFile(platform) && EqualText(text, ResourceFileFor(path), false);
}

void BroadcastFontChange() {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, FontChangeTimeoutMs,
                        &answer);
}

bool DeletePlainFile(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != FALSE;
}

// Removes every addition of the font resource file from the running system; true when there
// was one.
bool RemoveFontEverywhere(const std::string& resource) {
    int removed = 0;
    while (removed < MaxRemovals && RemoveFontResourceA(resource.c_str()))
        ++removed;
    return removed > 0;
}

std::string ValuePathFor(const char* list, const std::string& name) {
    return list + name + ValueNameSuffix;
}

std::string FontNameOf(const WSetupTTFFile& font) {
    return font.FontName.empty() ? font.Id.str() : font.FontName.str();
}

// The font-list key of the platform family; null for a platform that has none.
const char* FontListOf(const PlatformVersion& platform) {
    switch (platform.PlatformId()) {
    case VER_PLATFORM_WIN32_WINDOWS:
        return Win9xFontList;
    case VER_PLATFORM_WIN32_NT:
        return NtFontList;
    default:
        return nullptr;
    }
}

} // namespace

bool RegisterFontFile(const std::string& path, const std::string& name) {
    return RegisterFontFileAs(ThePlatformVersion(), path, name);
}

bool RegisterFontFileAs(const PlatformVersion& platform, const std::string& path,
                        const std::string& name) {
    const char* list = FontListOf(platform);
    if (!list)
        return false; // no font list to write to

    std::string registered = path;
    std::string builtResource;
    if (BuildsResourceFile(platform)) {
        const std::string resource = ResourceFileFor(path);
        (void)CreateDirectoryTree(ParentOf(resource)); // else the build below fails
        // A resource left by an earlier installation is built anew (the platform refuses to
        // overwrite one).
        if (WhatIsAt(resource) != PathKind::Nothing) {
            RemoveFontEverywhere(resource);
            DeletePlainFile(resource);
        }
        if (CreateScalableFontResourceA(0, resource.c_str(), path.c_str(), nullptr)) {
            registered = resource;
            builtResource = resource;
        }
    }

    if (AddFontResourceA(registered.c_str()) <= 0) {
        if (!builtResource.empty())
            DeletePlainFile(builtResource);
        return false;
    }
    BroadcastFontChange();
    if (WriteRegStringAt(HKEY_LOCAL_MACHINE, ValuePathFor(list, name),
                         ListTextFor(platform, registered)))
        return true;

    RemoveFontResourceA(registered.c_str());
    BroadcastFontChange();
    if (!builtResource.empty())
        DeletePlainFile(builtResource);
    return false;
}

bool UnregisterFontFile(const std::string& path, const std::string& name) {
    return UnregisterFontFileAs(ThePlatformVersion(), path, name);
}

bool UnregisterFontFileAs(const PlatformVersion& platform, const std::string& path,
                          const std::string& name) {
    const bool withResource = BuildsResourceFile(platform);
    const std::string resource = withResource ? ResourceFileFor(path) : std::string();
    bool removed = RemoveFontEverywhere(path);
    if (withResource && RemoveFontEverywhere(resource))
        removed = true;
    if (removed)
        BroadcastFontChange();

    const char* list = FontListOf(platform);
    if (!list)
        return true; // nothing was written
    const std::string valuePath = ValuePathFor(list, name);
    const std::string listed = ReadRegStringAt(HKEY_LOCAL_MACHINE, valuePath);
    if (!ListTextNames(platform, listed, path))
        return true; // absent, or another file's registration: left alone
    if (!DeleteRegValue(HKEY_LOCAL_MACHINE, valuePath))
        return false;
    if (withResource && EqualText(listed, resource, false))
        DeletePlainFile(resource);
    return true;
}

namespace {

constexpr ElementField TTFFileFields[] = {
    TextField("FontName", &WSetupTTFFile::FontName, 19),
};

} // namespace

// No short record.
const ElementFieldTable WSetupTTFFileFields = MakeFieldTable(TTFFileFields, &WSetupFileFields);

StepMeaning FontRegistrationMeaning(int status) {
    switch (status) {
    case FontRegistered:
        return StepMeaning::Done;
    case FontAwaitsRestart:
        return StepMeaning::NothingToDo;
    default:
        return StepMeaning::Failed;
    }
}

WSetupTTFFile::WSetupTTFFile() : WSetupFile(KindTTFFile) {
    CopyMode = CopyIfAbsent;
}

int WSetupTTFFile::Uninstall() {
    return Status = ElementDone;
}

int WSetupTTFFile::InstallStep(FwStringArray& rebootList, FwPtrArray& collected, int skipRequest,
                               int defaultDestination, int shortNames) {
    const int outcome =
        WSetupFile::InstallStep(rebootList, collected, skipRequest, defaultDestination, shortNames);
    RestartPending = outcome == ScheduledPlain ? 1 : 0;
    return Status = outcome;
}

int WSetupTTFFile::UninstallStep(FwStringArray& rebootList) {
    if (RemoveOnUninstall) {
        SetupContext& context = TheSetupContext();
        DestDir = context.ExpandVariables(DestDir);
        // Not reported: the step's status is the file step's below, and the kind's codes have
        // none for a font that stays in the font list.
        (void)UnregisterFontFile(context.ResolvePath(DestDir, DestName), FontNameOf(*this));
    }
    return WSetupFile::UninstallStep(rebootList);
}

int WSetupTTFFile::RegisterFont(int fromSource) {
    if (RestartPending)
        return Status = FontAwaitsRestart;
    SetupContext& context = TheSetupContext();
    DestDir = context.ExpandVariables(DestDir);
    const std::string path = fromSource && SkipWhenAsked
                                 ? context.ResolvePath(SourceDir, SourceName)
                                 : context.ResolvePath(DestDir, DestName);
    if (!CanOpenForReading(path))
        return Status = FontFileAbsent;
    if (FontName.empty())
        FontName = Id;
    return Status = RegisterFontFile(path, FontName) ? FontRegistered : FontNotRegistered;
}

int WSetupTTFFile::Verify() {
    if (WSetupFile::Verify() != FileAsInstalled)
        return Status;
    const PlatformVersion& platform = ThePlatformVersion();
    const char* list = platform.PlatformId() == VER_PLATFORM_WIN32_NT ? NtFontList : Win9xFontList;
    const std::string listed =
        ReadRegStringAt(HKEY_LOCAL_MACHINE, ValuePathFor(list, FontNameOf(*this)));
    const std::string path = TheSetupContext().ResolvePath(DestDir, DestName);
    return Status = ListTextNames(platform, listed, path) ? FileAsInstalled : FontNotListed;
}

FwString WSetupTTFFile::GetFullRecord() {
    return WriteFullRecord(*this, WSetupTTFFileFields);
}

FwString WSetupTTFFile::GetShortRecord() {
    return WriteShortRecord(*this, WSetupTTFFileFields);
}

FwString WSetupTTFFile::GetFontName() const {
    return FontName;
}
void WSetupTTFFile::SetFontName(FwString name) {
    FontName = std::move(name);
}
