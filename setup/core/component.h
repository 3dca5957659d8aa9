// The setup component: a selectable part of a product that holds one list of elements per
// element kind, its sub-components and the columns of the engine's component record.
//
// The setup engine hands its components to the plug-in by pointer, so the layout below and the
// order of the virtual operations are a binary interface: do not reorder, insert or resize.
#pragma once

#include <cstddef>
#include <string>

#include "setup/core/element.h"
#include "setup/core/framework.h"

// Optional record that a component owns; the engine fills it, the library only frees it.
struct WSetupAttachment {
    FwString Texts[5];
    FwStringArray Lists[2];
};

class WSetupComponent : public FwObject {
    FW_DECLARE_DYNCREATE(WSetupComponent)
public:
    WSetupComponent();
    WSetupComponent(const WSetupComponent&) = delete;
    WSetupComponent& operator=(const WSetupComponent&) = delete;
    // Frees the attachment, the lists and the strings; the elements stay alive.
    ~WSetupComponent();

    // Virtual operations continue the framework's slots 0-2 in this order (slot 3 onwards).
    virtual FwString GetRecord001();
    virtual FwString GetSelectionRecord(); // 4
    virtual FwString GetRecord000(int useAlternativeColumns);
    virtual FwString GetRecordText() const;
    virtual FwString GetText17() const;
    virtual void SetText17(FwString text); // 8

    // True when the state of the current mode is 2, 4 or 5.
    bool IsSelected() const;
    // Walks the children of `component` (depth first): each gets this component's ModeIndex,
    // and the answer is yes at the first one that is selected, Fixed, or Locked when `strict`
    // is nonzero, or that has such a descendant.
    bool HasChosenDescendant(WSetupComponent* component, int strict);
    // Decrements the RefCount of every listed element and empties the 17 lists. Returns 1.
    int ReleaseElements();
    // Appends the element to the list of its kind and counts the reference (kinds outside 0-16
    // are refused).
    bool AddElement(WSetupElement* element);

    FwStringArray TextList;
    int reserved24 = 0;
    int ModeStates[4] = {0, 0, 0, 0};
    WSetupAttachment* Attachment = nullptr;
    FwString RecordText;
    int ModeIndex = 2;
    int reserved56 = 0;
    int Fixed = 0;
    int reserved64[2] = {0, 0};
    FwString Id;
    int reserved76 = 0;
    FwString Text3;
    FwString QualifiedName;
    int Number4 = 0;
    int Flag5 = 0;
    FwString Text6;
    int reserved100 = 0;
    double Size = 0.0;
    FwString Text8;
    FwString Text9;
    FwString Text10;
    FwString Text11;
    FwString AltText12;
    FwString AltText13;
    int Type14 = 0;
    FwString Text15;
    int Flags16 = 0;
    int reserved148 = 0;
    int Action = 0;
    FwString Text17;
    int reserved160 = 0;
    FwString Text18;
    int Locked = 0;
    FwString Text19;
    FwString Text20;
    int reserved180[3] = {0, 0, 0};
    int reserved192[2] = {0, 0};
    int reserved200 = 0;
    FwPtrArray Elements[WSetupKindCount]; // WSetupElement*, one list per kind code
    FwPtrArray Children;                  // WSetupComponent*
    FwPtrArray Related;                   // WSetupComponent*
    FwPtrArray Others;                    // WSetupComponent*

    WSetupComponent* ChildAt(int index) const {
        return static_cast<WSetupComponent*>(Children.GetAt(index));
    }
    WSetupElement* ElementAt(int kind, int index) const {
        return static_cast<WSetupElement*>(Elements[kind].GetAt(index));
    }
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(sizeof(WSetupAttachment) == 60, "attachment layout");
static_assert(offsetof(WSetupComponent, TextList) == 4, "component layout");
static_assert(offsetof(WSetupComponent, reserved24) == 24, "component layout");
static_assert(offsetof(WSetupComponent, ModeStates) == 28, "component layout");
static_assert(offsetof(WSetupComponent, Attachment) == 44, "component layout");
static_assert(offsetof(WSetupComponent, RecordText) == 48, "component layout");
static_assert(offsetof(WSetupComponent, ModeIndex) == 52, "component layout");
static_assert(offsetof(WSetupComponent, Fixed) == 60, "component layout");
static_assert(offsetof(WSetupComponent, Id) == 72, "component layout");
static_assert(offsetof(WSetupComponent, Text3) == 80, "component layout");
static_assert(offsetof(WSetupComponent, QualifiedName) == 84, "component layout");
static_assert(offsetof(WSetupComponent, Number4) == 88, "component layout");
static_assert(offsetof(WSetupComponent, Flag5) == 92, "component layout");
static_assert(offsetof(WSetupComponent, Text6) == 96, "component layout");
static_assert(offsetof(WSetupComponent, Size) == 104, "component layout");
static_assert(offsetof(WSetupComponent, Text8) == 112, "component layout");
static_assert(offsetof(WSetupComponent, Text11) == 124, "component layout");
static_assert(offsetof(WSetupComponent, AltText12) == 128, "component layout");
static_assert(offsetof(WSetupComponent, AltText13) == 132, "component layout");
static_assert(offsetof(WSetupComponent, Type14) == 136, "component layout");
static_assert(offsetof(WSetupComponent, Text15) == 140, "component layout");
static_assert(offsetof(WSetupComponent, Flags16) == 144, "component layout");
static_assert(offsetof(WSetupComponent, Action) == 152, "component layout");
static_assert(offsetof(WSetupComponent, Text17) == 156, "component layout");
static_assert(offsetof(WSetupComponent, Text18) == 164, "component layout");
static_assert(offsetof(WSetupComponent, Locked) == 168, "component layout");
static_assert(offsetof(WSetupComponent, Text19) == 172, "component layout");
static_assert(offsetof(WSetupComponent, Text20) == 176, "component layout");
static_assert(offsetof(WSetupComponent, reserved180) == 180, "component layout");
static_assert(offsetof(WSetupComponent, reserved192) == 192, "component layout");
static_assert(offsetof(WSetupComponent, reserved200) == 200, "component layout");
static_assert(offsetof(WSetupComponent, Elements) == 204, "component layout");
static_assert(offsetof(WSetupComponent, Children) == 544, "component layout");
static_assert(offsetof(WSetupComponent, Related) == 564, "component layout");
static_assert(offsetof(WSetupComponent, Others) == 584, "component layout");
static_assert(sizeof(WSetupComponent) == 608, "component layout");
FW_LAYOUT_CHECKS_END
#endif
