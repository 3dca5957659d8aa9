// The setup element: one unit of installation work (a file, a registry value, a shortcut, ...)
// that installs, undoes and checks itself and describes itself as a comma-separated record.
//
// The setup engine and the plug-in exchange elements by pointer, so the layout below and the
// order of the virtual operations are a binary interface: do not reorder, insert or resize.
#pragma once

#include <cstddef>

#include "setup/core/framework.h"

// Kind codes, stored in WSetupElement::Kind by each kind's constructor; a component keeps one
// element list per code. The number of kinds is part of the component's binary layout
// (WSetupComponent::Elements, checked in component.h): a kind cannot be added without it.
enum WSetupKind : int {
    KindNone = -1, // a plain WSetupElement
    KindBackupFile = 0,
    KindDir = 1,
    KindTTFFile = 2,
    KindProfileString = 3,
    KindCustFile = 4,
    KindRegFile = 5,
    KindShortcut = 6,
    KindExecutable = 7,
    KindCustomDLL = 8,
    KindRuntimeFile = 9,
    KindRuntimeRegEntry = 10,
    KindDeleteFile = 11,
    KindSelfRegFile = 12,
    KindFile = 13,
    KindUninstallExecutable = 14,
    KindUninstallCustomDLL = 15,
    KindRegEntry = 16,
};
constexpr int WSetupKindCount = 17;

// Status values of the base operations, shared by the kinds that answer in the same way.
enum WSetupElementStatus : int {
    ElementNotProcessed = -1,
    ElementDone = 0,
    ElementNothingDone = 1,
};

// The operations an embedding program runs on an element, whatever their names in the kind:
// Install is the kind's InstallStep (Install() for the kinds without one), Undo its
// UninstallStep, Remove or Uninstall(), Check its Verify().
enum class ElementStep : unsigned char { Install, Undo, Check };

// What a status of an operation means to that program. Each kind has its own scheme, so only
// the kind's meaning table (beside the kind) can say it.
enum class StepMeaning : unsigned char { Done, NothingToDo, Failed };

// One row of a kind's meaning table: what `status` of `step` means.
struct StatusMeaning {
    ElementStep step;
    int status;
    StepMeaning meaning;
};

// The name of one code of an operation, as the kind declares it (for the lines that report it).
struct StatusName {
    ElementStep step;
    int status;
    const char* name;
};

// A kind's meaning table: the codes of each operation that are not failures. Every code it does
// not list (ElementNotProcessed included) is Failed; for a code listed twice the first row wins.
// Beside them, the name of every code each operation answers.
struct StepMeaningTable {
    const StatusMeaning* rows;
    std::size_t count;
    const StatusName* names;
    std::size_t nameCount;
};

template <std::size_t N, std::size_t M>
constexpr StepMeaningTable MakeMeaningTable(const StatusMeaning (&rows)[N],
                                            const StatusName (&names)[M]) {
    return {rows, N, names, M};
}

// What `status` of `step` means by `table`.
StepMeaning MeaningIn(const StepMeaningTable& table, ElementStep step, int status);
// The name of `status` of `step` by `table`; null for a code the kind does not name.
const char* StatusNameIn(const StepMeaningTable& table, ElementStep step, int status);

class WSetupElement : public FwObject {
    FW_DECLARE_DYNCREATE(WSetupElement)
public:
    WSetupElement();
    WSetupElement(const WSetupElement&) = delete;
    WSetupElement& operator=(const WSetupElement&) = delete;
    ~WSetupElement() = default;

    // Virtual operations continue the framework's slots 0-2 in this order (slot 3 onwards).
    virtual FwString GetId() const;
    virtual void SetId(FwString id);
    virtual int Install();   // 5
    virtual int Uninstall(); // 6
    virtual int Verify();    // 7
    virtual FwString GetRecord();
    virtual FwString GetFullRecord();
    virtual FwString GetShortRecord(); // 10
    virtual FwString GetSourceDir() const;
    virtual void SetSourceDir(FwString dir);
    virtual FwString GetSourceName() const;
    virtual void SetSourceName(FwString name);
    virtual FwString GetDestDir() const; // 15
    virtual void SetDestDir(FwString dir);
    virtual FwString GetDestName() const;
    virtual void SetDestName(FwString name);
    virtual FwString GetOptionFlags() const;
    virtual void SetOptionFlags(FwString flags); // 20
    virtual FwString GetExtraText() const;
    virtual void SetExtraText(FwString text);
    virtual void SetSize(double size);
    virtual FwString GetUserText() const;
    virtual void SetUserText(FwString text); // 25

    int RefCount = 0; // number of component lists holding the element
    int reserved08[4] = {0, 0, 0, 0};
    int Status = ElementNotProcessed; // result of the last operation
    FwString Id;
    FwString SourceDir;
    FwString SourceName;
    FwString DestDir;
    FwString DestName;
    FwString OptionFlags;
    FwString ExtraText;
    double Size = 0.0;
    int RemoveOnUninstall = 1;
    int ChangeMark = 0;
    int RecordFlag = 0;
    int reserved76 = 0;
    int Kind = KindNone;
    FwString UserText;

protected:
    // Kinds store their code.
    explicit WSetupElement(int kind);
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(WSetupElement, RefCount) == 4, "element layout");
static_assert(offsetof(WSetupElement, reserved08) == 8, "element layout");
static_assert(offsetof(WSetupElement, Status) == 24, "element layout");
static_assert(offsetof(WSetupElement, Id) == 28, "element layout");
static_assert(offsetof(WSetupElement, SourceDir) == 32, "element layout");
static_assert(offsetof(WSetupElement, SourceName) == 36, "element layout");
static_assert(offsetof(WSetupElement, DestDir) == 40, "element layout");
static_assert(offsetof(WSetupElement, DestName) == 44, "element layout");
static_assert(offsetof(WSetupElement, OptionFlags) == 48, "element layout");
static_assert(offsetof(WSetupElement, ExtraText) == 52, "element layout");
static_assert(offsetof(WSetupElement, Size) == 56, "element layout");
static_assert(offsetof(WSetupElement, RemoveOnUninstall) == 64, "element layout");
static_assert(offsetof(WSetupElement, ChangeMark) == 68, "element layout");
static_assert(offsetof(WSetupElement, RecordFlag) == 72, "element layout");
static_assert(offsetof(WSetupElement, reserved76) == 76, "element layout");
static_assert(offsetof(WSetupElement, Kind) == 80, "element layout");
static_assert(offsetof(WSetupElement, UserText) == 84, "element layout");
static_assert(sizeof(WSetupElement) == 88, "element layout");
FW_LAYOUT_CHECKS_END
#endif
