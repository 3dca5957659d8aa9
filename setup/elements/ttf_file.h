// Font element: a WSetupFile whose file is a TrueType font, with a step that makes the font
// known to the running system and records it in the registry's font list. Its run-time class
// names WSetupElement as base, like every kind, while its layout and operations extend
// WSetupFile.
#pragma once

#include "setup/elements/file.h"

class WSetupTTFFile : public WSetupFile {
    FW_DECLARE_DYNCREATE(WSetupTTFFile)
public:
    WSetupTTFFile();
    ~WSetupTTFFile() = default;

    int Uninstall() override; // the file step undoes the copy: 0
    int Verify() override;
    FwString GetFullRecord() override;
    FwString GetShortRecord() override;
    int InstallStep(FwStringArray& rebootList, FwPtrArray& collected, int skipRequest,
                    int defaultDestination, int shortNames) override;

    // Slot 31: registers the font (from where it lies on the medium when asked and not copied).
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
