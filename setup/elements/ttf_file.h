// Font element: a WSetupFile whose file is a TrueType font, with a step that makes the font
// known to the running system and records it in the registry's font list. Its run-time class
// names WSetupElement as base, like every kind, while its layout and operations extend
// WSetupFile.
//
// Font lists (under HKEY_LOCAL_MACHINE): "Software\Microsoft\Windows\CurrentVersion\Fonts" on the
// Windows 95/98 family, "Software\Microsoft\Windows NT\CurrentVersion\Fonts" on the NT family;
// one string value per font, named "<font name> (TrueType)". The value holds the registered
// file: its bare name when the platform has the new shell and the file lies in the Fonts
// folder, on NT before the new shell the ".FOT" resource built for it in the Windows folder's
// "system" subfolder, else its full path.
#pragma once

#include <string>

#include "setup/core/fileutil.h"
#include "setup/elements/file.h"

// Registers one font: adds it to the running system (broadcasting WM_FONTCHANGE, with a timeout
// so that a hung window cannot block) and writes its font-list value. On NT before the new
// shell the ".FOT" resource is built first (an earlier one of the same name is rebuilt). False,
// with the font removed again and nothing written, when any step fails, and on a platform that
// is neither of the two families.
[[nodiscard]] bool RegisterFontFile(const std::string& path, const std::string& name);
// The same for the given platform instead of the running one.
[[nodiscard]] bool RegisterFontFileAs(const PlatformVersion& platform, const std::string& path,
                                      const std::string& name);

// Takes back what RegisterFontFile did for the font file at `path`: removes the font (and its
// ".FOT" resource) from the running system, and deletes the font-list value `name` and the
// ".FOT" file when that value names this file. True when the value no longer names the file.
[[nodiscard]] bool UnregisterFontFile(const std::string& path, const std::string& name);
[[nodiscard]] bool UnregisterFontFileAs(const PlatformVersion& platform, const std::string& path,
                                        const std::string& name);

// Codes of WSetupTTFFile::RegisterFont.
enum WSetupFontRegistration : int {
    FontRegistered = 0,
    FontAwaitsRestart = 1, // the font file's replacement waits for the restart
    FontFileAbsent = 2,
    FontNotRegistered = 3, // adding the font or writing the font list failed
};

// WSetupTTFFile::Verify answers a WSetupFileCheck, or this one for a present file that the font
// list does not name (in any of the forms RegisterFontFile writes).
constexpr int FontNotListed = 7;

// Install and Undo mean what they mean for WSetupFile, and so does Check (Verify): the kind
// catalogue gives the font element WSetupFileMeanings.
// What a status of RegisterFont means; a registration left to the restart is nothing to do now.
StepMeaning FontRegistrationMeaning(int status);

// The font file's fields, then FontName.
extern const ElementFieldTable WSetupTTFFileFields;

class WSetupTTFFile : public WSetupFile {
    FW_DECLARE_DYNCREATE(WSetupTTFFile)
public:
    WSetupTTFFile();
    ~WSetupTTFFile() = default;

    int Uninstall() override; // the file step undoes the copy: 0
    int Verify() override;    // a WSetupFileCheck or FontNotListed
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;
    // As WSetupFile's; RestartPending records whether this install's outcome was 9.
    int InstallStep(FwStringArray& rebootList, FwPtrArray& collected, int skipRequest,
                    int defaultDestination, int shortNames) override;
    // As WSetupFile's, after the font is unregistered (UnregisterFontFile) when the element is
    // to be removed.
    int UninstallStep(FwStringArray& rebootList) override;

    // Slot 31: registers the font (from where it lies on the medium when asked and not
    // copied); a WSetupFontRegistration. An empty FontName becomes Id.
    virtual int RegisterFont(int fromSource);
    virtual FwString GetFontName() const;
    virtual void SetFontName(FwString name); // 33

    FwString FontName;      // display name; Id when empty
    int RestartPending = 0; // the copy waits for the restart
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(WSetupTTFFile, FontName) == 136, "font layout");
static_assert(offsetof(WSetupTTFFile, RestartPending) == 140, "font layout");
static_assert(sizeof(WSetupTTFFile) == 144, "font layout");
FW_LAYOUT_CHECKS_END
#endif
