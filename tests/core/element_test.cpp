// The element base: defaults, its full record, the order of its virtual operations, creation by
// class name, and the attribute strings on real files and folders.
#include "setup/assembly/class_table.h"
#include "setup/core/attributes.h"
#include "setup/core/component.h"
#include "setup/core/element.h"
#include "setup/elements/shortcut.h"
#include "support/fixtures.h"
#include "support/vtable_slots.h"

#include <gtest/gtest.h>

using testsupport::MemberCall;
using testsupport::SlotOf;
using testsupport::VtableOf;

namespace {
// The program's start, as a program that creates setup objects by name has it.
const bool g_classTableInstalled = (UseSetupClassTable(), true);
} // namespace

TEST(WSetupElement, FreshElementDefaultsAndFullRecord) {
    WSetupElement element;
    EXPECT_EQ(element.Status, ElementNotProcessed);
    EXPECT_EQ(element.Kind, KindNone);
    EXPECT_EQ(element.RefCount, 0);
    EXPECT_EQ(element.GetFullRecord(), ",<S>,,<D>,,0.000000,1111,1,,0,");
    EXPECT_EQ(element.GetRecord(), element.GetFullRecord());
    EXPECT_TRUE(element.GetShortRecord().empty());

    element.SetId("E1");
    element.SetSourceName("a.txt");
    element.SetDestName("b.txt");
    element.SetSize(2.5);
    element.RemoveOnUninstall = 0;
    element.RecordFlag = 7;
    element.SetExtraText("x");
    EXPECT_EQ(element.GetFullRecord(), "E1,<S>,a.txt,<D>,b.txt,2.500000,1111,0,x,1,");
}

// The base operations answer 1 (nothing done) and, like every operation, store their answer in
// Status; the shortcut kind keeps the base Install and Uninstall.
TEST(WSetupElement, BaseOperationsStoreTheirStatus) {
    WSetupElement element;
    WSetupShortcut shortcut;
    for (WSetupElement* e : {&element, static_cast<WSetupElement*>(&shortcut)}) {
        for (int (WSetupElement::*operation)() :
             {&WSetupElement::Install, &WSetupElement::Uninstall}) {
            e->Status = 7;
            EXPECT_EQ((e->*operation)(), ElementNothingDone);
            EXPECT_EQ(e->Status, ElementNothingDone) << e->GetRuntimeClass()->ClassName;
        }
    }
    element.Status = 7;
    EXPECT_EQ(element.Verify(), ElementNothingDone);
    EXPECT_EQ(element.Status, ElementNothingDone);
}

TEST(VirtualSlots, ElementOperationsSitInTheirSlots) {
    EXPECT_EQ(SlotOf(&FwObject::GetRuntimeClass), 0);
    EXPECT_EQ(SlotOf(&FwObject::DestroyObject), 1);
    EXPECT_EQ(SlotOf(&FwObject::Serialize), 2);
    EXPECT_EQ(SlotOf(&WSetupElement::GetId), 3);
    EXPECT_EQ(SlotOf(&WSetupElement::SetId), 4);
    EXPECT_EQ(SlotOf(&WSetupElement::Install), 5);
    EXPECT_EQ(SlotOf(&WSetupElement::Uninstall), 6);
    EXPECT_EQ(SlotOf(&WSetupElement::Verify), 7);
    EXPECT_EQ(SlotOf(&WSetupElement::GetRecord), 8);
    EXPECT_EQ(SlotOf(&WSetupElement::GetFullRecord), 9);
    EXPECT_EQ(SlotOf(&WSetupElement::GetShortRecord), 10);
    EXPECT_EQ(SlotOf(&WSetupElement::GetSourceDir), 11);
    EXPECT_EQ(SlotOf(&WSetupElement::SetSourceName), 14);
    EXPECT_EQ(SlotOf(&WSetupElement::GetDestDir), 15);
    EXPECT_EQ(SlotOf(&WSetupElement::SetDestName), 18);
    EXPECT_EQ(SlotOf(&WSetupElement::GetOptionFlags), 19);
    EXPECT_EQ(SlotOf(&WSetupElement::SetExtraText), 22);
    EXPECT_EQ(SlotOf(&WSetupElement::SetSize), 23);
    EXPECT_EQ(SlotOf(&WSetupElement::GetUserText), 24);
    EXPECT_EQ(SlotOf(&WSetupElement::SetUserText), 25);

    // Calling through the raw table entries reaches the operations the slots name.
    WSetupElement element;
    auto install = reinterpret_cast<MemberCall<int, WSetupElement*>>(VtableOf(&element)[5]);
    EXPECT_EQ(install(&element), 1);
    auto runtimeClass = reinterpret_cast<MemberCall<const FwRuntimeClass*, const WSetupElement*>>(
        VtableOf(&element)[0]);
    EXPECT_EQ(runtimeClass(&element), FW_RUNTIME_CLASS(WSetupElement));
    auto setSize =
        reinterpret_cast<MemberCall<void, WSetupElement*, double>>(VtableOf(&element)[23]);
    setSize(&element, 42.0);
    EXPECT_EQ(element.Size, 42.0);
}

TEST(VirtualSlots, ComponentOperationsSitInTheirSlots) {
    EXPECT_EQ(SlotOf(&WSetupComponent::GetRecord001), 3);
    EXPECT_EQ(SlotOf(&WSetupComponent::GetSelectionRecord), 4);
    EXPECT_EQ(SlotOf(&WSetupComponent::GetRecord000), 5);
    EXPECT_EQ(SlotOf(&WSetupComponent::GetRecordText), 6);
    EXPECT_EQ(SlotOf(&WSetupComponent::GetText17), 7);
    EXPECT_EQ(SlotOf(&WSetupComponent::SetText17), 8);

    auto* component =
        static_cast<WSetupComponent*>(FwRuntimeClass::CreateObject("WSetupComponent"));
    ASSERT_NE(component, nullptr);
    component->Attachment = new WSetupAttachment;
    component->Attachment->Texts[0] = "owned";
    component->Attachment->Lists[1].Add("listed");
    void* const* table = VtableOf(component);
    auto runtimeClass =
        reinterpret_cast<MemberCall<const FwRuntimeClass*, const WSetupComponent*>>(table[0]);
    EXPECT_EQ(runtimeClass(component), FW_RUNTIME_CLASS(WSetupComponent));
    // Slot 1 destroys and, with bit 0 set, frees the component with its attachment.
    auto destroy = reinterpret_cast<MemberCall<void*, WSetupComponent*, unsigned int>>(table[1]);
    EXPECT_EQ(destroy(component, 1), component);
}

TEST(VirtualSlots, ShortcutKeepsBaseSlotsAndAddsItsOwnFrom26) {
    EXPECT_EQ(SlotOf(&WSetupShortcut::Verify), 7);
    EXPECT_EQ(SlotOf(&WSetupShortcut::GetFullRecord), 9);
    EXPECT_EQ(SlotOf(&WSetupShortcut::GetShortRecord), 10);
    EXPECT_EQ(SlotOf(&WSetupShortcut::InstallStep), 26);
    EXPECT_EQ(SlotOf(&WSetupShortcut::UninstallStep), 27);
    EXPECT_EQ(SlotOf(&WSetupShortcut::GetGroup), 28);
    EXPECT_EQ(SlotOf(&WSetupShortcut::SetGroup), 29);
    EXPECT_EQ(SlotOf(&WSetupShortcut::GetLinkName), 30);
    EXPECT_EQ(SlotOf(&WSetupShortcut::SetLinkName), 31);
    EXPECT_EQ(SlotOf(&WSetupShortcut::GetArguments), 32);
    EXPECT_EQ(SlotOf(&WSetupShortcut::SetArguments), 33);
    EXPECT_EQ(SlotOf(&WSetupShortcut::GetWorkDir), 34);
    EXPECT_EQ(SlotOf(&WSetupShortcut::SetWorkDir), 35);
    EXPECT_EQ(SlotOf(&WSetupShortcut::GetIconDir), 36);
    EXPECT_EQ(SlotOf(&WSetupShortcut::SetIconDir), 37);
    EXPECT_EQ(SlotOf(&WSetupShortcut::GetIconName), 38);
    EXPECT_EQ(SlotOf(&WSetupShortcut::SetIconName), 39);

    // Through the table of an object reached as a plain element, as the engine reaches it.
    FwPtr<WSetupElement> element(
        static_cast<WSetupElement*>(FwRuntimeClass::CreateObject("WSetupShortcut")));
    ASSERT_NE(element, nullptr);
    ASSERT_EQ(element->Kind, KindShortcut);
    void* const* table = VtableOf(element.get());
    WSetupElement plain;
    EXPECT_NE(table[9], VtableOf(&plain)[9]);   // own record
    EXPECT_EQ(table[11], VtableOf(&plain)[11]); // inherited accessor
    auto installStep = reinterpret_cast<MemberCall<int, WSetupElement*, FwStringArray*>>(table[26]);
    FwStringArray folders;
    EXPECT_EQ(installStep(element.get(), &folders), 1); // no target program: nothing installed
}

TEST(ClassTable, CreatesTheModelClassesByName) {
    for (const char* name : {"WSetupElement", "WSetupComponent", "WSetupShortcut"}) {
        SCOPED_TRACE(name);
        const FwRuntimeClass* cls = FwRuntimeClass::FromName(name);
        ASSERT_NE(cls, nullptr);
        EXPECT_STREQ(cls->ClassName, name);
        EXPECT_EQ(cls->Schema, FwNoSchema);
        FwPtr<FwObject> object(cls->CreateObject());
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->GetRuntimeClass(), cls);
    }
    EXPECT_EQ(FwRuntimeClass::FromName("wsetupelement"), nullptr); // names compare exactly
    EXPECT_EQ(FwRuntimeClass::CreateObject("WSetupNothing"), nullptr);
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupElement)->ObjectSize, static_cast<int>(sizeof(WSetupElement)));
    EXPECT_EQ(FW_RUNTIME_CLASS(WSetupComponent)->ObjectSize,
              static_cast<int>(sizeof(WSetupComponent)));
}

TEST(ClassTable, DerivationComparesRecordsAndForeignNames) {
    WSetupComponent component;
    WSetupShortcut shortcut;
    EXPECT_TRUE(component.IsKindOf(FW_RUNTIME_CLASS(WSetupComponent)));
    EXPECT_TRUE(component.IsKindOf(&FwObject::classFwObject));
    EXPECT_FALSE(component.IsKindOf(FW_RUNTIME_CLASS(WSetupElement)));
    EXPECT_TRUE(shortcut.IsKindOf(FW_RUNTIME_CLASS(WSetupElement)));
    EXPECT_FALSE(shortcut.IsKindOf(FW_RUNTIME_CLASS(WSetupComponent)));

    // Another module's copy of a class record: a different address, the same name.
    const FwRuntimeClass foreign = {"WSetupComponent", 608, FwNoSchema, nullptr, nullptr};
    EXPECT_TRUE(component.IsKindOf(&foreign));
    const FwRuntimeClass foreignElement = {"WSetupElement", 88, FwNoSchema, nullptr, nullptr};
    EXPECT_TRUE(shortcut.IsKindOf(&foreignElement));
    EXPECT_FALSE(component.IsKindOf(&foreignElement));
    EXPECT_FALSE(component.IsKindOf(nullptr));
}

class AttributeStrings : public ::testing::Test {
protected:
    void SetUp() override {
        file = folder / "file.txt";
        dir = folder / "sub";
        ASSERT_TRUE(testsupport::WriteFileBytes(file, "x"));
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    }
    DWORD AttributesOf(const std::string& path) { return GetFileAttributesA(path.c_str()); }

    testsupport::TempFolder folder;
    std::string file;
    std::string dir;
};

// Wine reports every plain file as archive (0x20) and keeps neither read-only nor archive on
// folders, so the expectations below use bits that both Wine and Windows keep.
TEST_F(AttributeStrings, ApplyReadsThePositions) {
    ASSERT_TRUE(ApplyAttributes(file, "010100")); // archive and read-only
    EXPECT_EQ(AttributesOf(file), DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(CheckAttributes(file, "010100", 0), 1);
    EXPECT_EQ(CheckAttributes(file, "110100", 0), 1); // position 0 adds nothing beside others
    EXPECT_EQ(CheckAttributes(file, "010000", 0), -1);

    ASSERT_TRUE(ApplyAttributes(file, "011000")); // archive and hidden
    EXPECT_EQ(CheckAttributes(file, "011000", 0), 1);

    ASSERT_TRUE(ApplyAttributes(file, "101100")); // position 0 wins: plain
    EXPECT_EQ(AttributesOf(file) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), 0u);
    EXPECT_EQ(CheckAttributes(file, "011100", 0), -1);

    ASSERT_TRUE(ApplyAttributes(file, "011000"));
    ASSERT_TRUE(ApplyAttributes(file, "01100")); // shorter than six: plain
    EXPECT_EQ(AttributesOf(file) & FILE_ATTRIBUTE_HIDDEN, 0u);

    EXPECT_FALSE(ApplyAttributes(folder / "missing.txt", "100000"));
    EXPECT_EQ(CheckAttributes(folder / "missing.txt", "100000", 0), -1);
    EXPECT_EQ(CheckAttributes(folder / "missing.txt", "000000", 0), -1);
}

TEST_F(AttributeStrings, FoldersCarryTheDirectoryBit) {
    ASSERT_TRUE(ApplyAttributes(dir, "100000"));
    EXPECT_EQ(CheckAttributes(dir, "100000", 1), 1);
    // Checked as a file: a folder that otherwise matches answers -2, anything else -1.
    EXPECT_EQ(CheckAttributes(dir, "000000", 0), -2);
    EXPECT_EQ(CheckAttributes(dir, "100000", 0), -1);

    ASSERT_TRUE(ApplyAttributes(dir, "001000")); // hidden
    EXPECT_EQ(CheckAttributes(dir, "101000", 1), 1);
    EXPECT_EQ(CheckAttributes(dir, "001000", 0), -2);
    EXPECT_EQ(CheckAttributes(dir, "000000", 0), -1);
    EXPECT_EQ(CheckAttributes(dir, "100000", 1), -1);
}
