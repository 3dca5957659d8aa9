#include "setup/core/component.h"

#include <utility>

#include "setup/core/record.h"
#include "setup/core/text.h"

FW_IMPLEMENT_DYNCREATE(WSetupComponent, FwObject)

namespace {

// Related components of these types are listed in the "001" record.
bool IsListedRelatedType(int type) {
    return type == 1 || type == 2 || type == 3 || type == 4 || type == 6;
}

// The Ids of the listed components that pass `keep`, joined by " | ".
template <class Keep> std::string JoinIds(const FwPtrArray& list, Keep keep) {
    std::string joined;
    bool first = true;
    for (int i = 0; i < list.GetSize(); ++i) {
        auto* component = static_cast<const WSetupComponent*>(list.GetAt(i));
        if (!component || !keep(*component))
            continue;
        if (!first)
            joined += " | ";
        joined += component->Id.c_str();
        first = false;
    }
    return joined;
}

std::string JoinAllIds(const FwPtrArray& list) {
    return JoinIds(list, [](const WSetupComponent&) { return true; });
}

} // namespace

WSetupComponent::WSetupComponent() = default;

WSetupComponent::~WSetupComponent() {
    delete Attachment;
}

FwString WSetupComponent::GetRecord001() {
    return RecordBuilder()
        .Text(Id)
        .Text("001")
        .Text(Text3)
        .Number(Number4)
        .Flag(Flag5)
        .Text(Text6)
        .Text(WholeNumberText(Size))
        .Text(Text8)
        .Empty(3)
        .Text(JoinAllIds(Children))
        .Text(JoinIds(Related,
                      [](const WSetupComponent& c) { return IsListedRelatedType(c.Type14); }))
        .Number(Type14)
        .Text(Text15)
        .Number(Flags16 & ~2)
        .Result();
}

FwString WSetupComponent::GetSelectionRecord() {
    std::string chosen = JoinIds(Children, [this](const WSetupComponent& child) {
        if (child.IsSelected())
            return true;
        return child.Fixed == 0 && child.Locked == 0 &&
               HasChosenDescendant(const_cast<WSetupComponent*>(&child), 1);
    });
    return FwString(ReplaceField(RecordText.str(), chosen, ",", 12));
}

FwString WSetupComponent::GetRecord000(int useAlternativeColumns) {
    RecordBuilder record;
    record.Text(Id)
        .Text("000")
        .Text(Text3)
        .Number(Number4)
        .Flag(Flag5)
        .Text(Text6)
        .Text("0")
        .Text(Text8)
        .Text(Text9)
        .Text(Text10)
        .Text(Text11);
    if (useAlternativeColumns)
        record.Text(AltText12).Text(AltText13);
    else
        record.Text(JoinAllIds(Children)).Text(JoinAllIds(Related));
    return record.Number(Type14).Text(Text15).Number(Flags16 & ~2).Text(Text17).Result();
}

FwString WSetupComponent::GetRecordText() const {
    return RecordText;
}
FwString WSetupComponent::GetText17() const {
    return Text17;
}
void WSetupComponent::SetText17(FwString text) {
    Text17 = std::move(text);
}

bool WSetupComponent::IsSelected() const {
    // A mode index outside the four states selects nothing (the engine's modes are 0-3).
    if (ModeIndex < 0 || ModeIndex > 3)
        return false;
    int state = ModeStates[ModeIndex];
    return state == 2 || state == 4 || state == 5;
}

bool WSetupComponent::HasChosenDescendant(WSetupComponent* component, int strict) {
    if (!component)
        return false;
    for (int i = 0; i < component->Children.GetSize(); ++i) {
        WSetupComponent* child = component->ChildAt(i);
        if (!child)
            continue;
        child->ModeIndex = ModeIndex;
        if (child->IsSelected())
            return true;
        if (child->Fixed != 0 || (strict != 0 && child->Locked != 0))
            return true;
        if (HasChosenDescendant(child, strict))
            return true;
    }
    return false;
}

int WSetupComponent::ReleaseElements() {
    for (FwPtrArray& list : Elements) {
        for (int i = 0; i < list.GetSize(); ++i)
            if (auto* element = static_cast<WSetupElement*>(list.GetAt(i)))
                --element->RefCount;
        list.RemoveAll();
    }
    return 1;
}

bool WSetupComponent::AddElement(WSetupElement* element) {
    if (!element || element->Kind < 0 || element->Kind >= WSetupKindCount)
        return false;
    Elements[element->Kind].Add(element);
    ++element->RefCount;
    return true;
}
