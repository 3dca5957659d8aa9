// Field tables: how a table writes the full and the short record, and how fields are set from
// text. The kinds' own tables are checked against their golden records in records_test.
#include "setup/core/element_fields.h"
#include "setup/core/field_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bracketed(const std::string& text) {
    return "[" + text + "]";
}

// Columns out of table order, each short form once, fields outside the record.
constexpr ElementField MixedFields[] = {
    TextField("DestName", &WSetupElement::DestName, 3, ShortForm::KeptExpanded),
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 5, ShortForm::Blank),
    DoubleField("Size", &WSetupElement::Size, 4, ShortForm::Kept, FieldForm::WholeDouble),
    TextField("DestDir", &WSetupElement::DestDir, 2),
    IntegerField("ChangeMark", &WSetupElement::ChangeMark),
};
const ElementFieldTable Mixed = MakeFieldTable(MixedFields, nullptr, true, 2, false, 0, Bracketed);

constexpr ElementField TailFields[] = {
    IntegerField("ChangeMark", &WSetupElement::ChangeMark, 6, ShortForm::Kept),
};
const ElementFieldTable Tail = MakeFieldTable(TailFields, &Mixed, true, 0, true);

struct Filled : WSetupElement {
    Filled() {
        Id = "id";
        DestDir = "dir";
        DestName = "name";
        Size = 1234.75;
        RecordFlag = 5;
        ChangeMark = -3;
    }
};

} // namespace

TEST(FieldTable, FullRecordFollowsTheColumnsNotTheTableOrder) {
    Filled element;
    EXPECT_EQ(WriteFullRecord(element, Mixed), "id,dir,name,1234,1,");
    const auto fields = FullRecordFields(Mixed);
    ASSERT_EQ(fields.size(), 5u);
    for (std::size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(fields[i]->column, static_cast<int>(i) + 1) << fields[i]->name;
}

TEST(FieldTable, ShortRecordKeepsBlanksExpandsAndAppendsTrailingColumns) {
    Filled element;
    // DestDir omitted, DestName expanded, RecordFlag blank, two trailing empty columns.
    EXPECT_EQ(WriteShortRecord(element, Mixed), "id,[name],1234,,,,");
}

TEST(FieldTable, AnExtendingTableContinuesTheRecordItExtends) {
    Filled element;
    EXPECT_EQ(WriteFullRecord(element, Tail), "id,dir,name,1234,1,-3,");
    // Its short record is written from the whole chain; an open end drops the last ",".
    EXPECT_EQ(WriteShortRecord(element, Tail), "id,[name],1234,,-3");
    EXPECT_EQ(FindElementField(Tail, "Size"), &MixedFields[3]);
}

TEST(FieldTable, WithoutAShortRecordTheTextIsEmpty) {
    constexpr ElementField fields[] = {TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept)};
    const ElementFieldTable table = MakeFieldTable(fields);
    Filled element;
    EXPECT_EQ(WriteFullRecord(element, table), "id,");
    EXPECT_EQ(WriteShortRecord(element, table), "");
}

TEST(FieldTable, BaseFieldsWriteThePlainElementRecordAndAnswerForEveryKind) {
    WSetupElement element;
    EXPECT_EQ(WriteFullRecord(element, ElementBaseFields), ",<S>,,<D>,,0.000000,1111,1,,0,");
    // Names a kind's table does not hold are the element's own.
    const ElementField* userText = FindElementField(Mixed, "UserText");
    ASSERT_NE(userText, nullptr);
    EXPECT_EQ(userText->column, 0);
    EXPECT_EQ(FindElementField(Mixed, "DestName"), &MixedFields[0]);
    EXPECT_EQ(FindElementField(Mixed, "destname"), nullptr) << "names are case-sensitive";
    EXPECT_EQ(FindElementField(Mixed, "Nothing"), nullptr);
}

TEST(FieldTable, SettingFieldsFromText) {
    const ElementField* flag = FindElementField(Mixed, "RecordFlag");
    const ElementField* number = FindElementField(Mixed, "ChangeMark");
    const ElementField* real = FindElementField(Mixed, "Size");
    const ElementField* text = FindElementField(Mixed, "DestName");
    ASSERT_TRUE(flag && number && real && text);
    struct Row {
        const ElementField* field;
        const char* text;
        FieldTextResult expected;
        const char* written; // the field's text afterwards
    } rows[] = {
        {flag, "1", FieldTextResult::Set, "1"},
        {flag, "0", FieldTextResult::Set, "0"},
        {flag, "2", FieldTextResult::NotAFlag, "1"},
        {flag, " 1", FieldTextResult::NotAFlag, "1"},
        {flag, "", FieldTextResult::NotAFlag, "1"},
        {number, " 42 ", FieldTextResult::Set, "42"},
        {number, "-7", FieldTextResult::Set, "-7"},
        {number, "4x", FieldTextResult::NotAWholeNumber, "-3"},
        {number, "", FieldTextResult::NotAWholeNumber, "-3"},
        {number, "1.5", FieldTextResult::NotAWholeNumber, "-3"},
        {real, "12.9", FieldTextResult::Set, "12"},
        {real, " 1e3 ", FieldTextResult::Set, "1000"},
        {real, "ten", FieldTextResult::NotANumber, "1234"},
        {real, " ", FieldTextResult::NotANumber, "1234"},
        {text, " a,b ", FieldTextResult::Set, " a,b "},
        {text, "", FieldTextResult::Set, ""},
    };
    for (const Row& row : rows) {
        Filled element;
        const FieldTextResult result = SetFieldFromText(element, *row.field, row.text);
        const std::string seen = FieldText(element, *row.field);
        EXPECT_TRUE(result == row.expected && seen == row.written)
            << row.field->name << " from \"" << row.text << "\": result "
            << static_cast<int>(result) << ", field now \"" << seen << "\"";
    }
}
