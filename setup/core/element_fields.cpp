#include "setup/core/element_fields.h"

#include "setup/core/record.h"

namespace {

constexpr ElementField BaseFields[] = {
    TextField("Id", &WSetupElement::Id, 1),
    TextField("SourceDir", &WSetupElement::SourceDir, 2),
    TextField("SourceName", &WSetupElement::SourceName, 3),
    TextField("DestDir", &WSetupElement::DestDir, 4),
    TextField("DestName", &WSetupElement::DestName, 5),
    DoubleField("Size", &WSetupElement::Size, 6),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 7),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 8),
    TextField("ExtraText", &WSetupElement::ExtraText, 9),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 10),
    TextField("UserText", &WSetupElement::UserText),
};

// The fields of one table (not those it extends) that its full record writes, by column.
void AppendOwnColumns(const ElementFieldTable& table, std::vector<const ElementField*>& out) {
    const std::size_t first = out.size();
    for (std::size_t i = 0; i < table.count; ++i)
        if (table.fields[i].column > 0)
            out.push_back(&table.fields[i]);
    // Tables are short; an insertion sort keeps equal columns in table order.
    for (std::size_t i = first + 1; i < out.size(); ++i)
        for (std::size_t j = i; j > first && out[j - 1]->column > out[j]->column; --j)
            std::swap(out[j - 1], out[j]);
}

void AppendRecordFields(const ElementFieldTable& table, std::vector<const ElementField*>& out) {
    if (table.extends)
        AppendRecordFields(*table.extends, out);
    AppendOwnColumns(table, out);
}

const ElementField* FindIn(const ElementFieldTable& table, const std::string& name) {
    for (std::size_t i = 0; i < table.count; ++i)
        if (name == table.fields[i].name)
            return &table.fields[i];
    return table.extends ? FindIn(*table.extends, name) : nullptr;
}

// The short-record columns of the tables `table` extends, then of its own fields; each field
// is expanded by the table that holds it.
void AppendShortColumns(const WSetupElement& element, const ElementFieldTable& table,
                        RecordBuilder& record) {
    if (table.extends)
        AppendShortColumns(element, *table.extends, record);
    std::vector<const ElementField*> own;
    AppendOwnColumns(table, own);
    for (const ElementField* field : own) {
        switch (field->inShort) {
        case ShortForm::Omitted:
            break;
        case ShortForm::Blank:
            record.Empty();
            break;
        case ShortForm::Kept:
            record.Text(FieldText(element, *field));
            break;
        case ShortForm::KeptExpanded: {
            const std::string text = FieldText(element, *field);
            record.Text(table.expand ? table.expand(text) : text);
            break;
        }
        }
    }
}

} // namespace

const ElementFieldTable ElementBaseFields = MakeFieldTable(BaseFields);

std::vector<const ElementField*> FullRecordFields(const ElementFieldTable& table) {
    std::vector<const ElementField*> fields;
    AppendRecordFields(table, fields);
    return fields;
}

const ElementField* FindElementField(const ElementFieldTable& table, const std::string& name) {
    if (const ElementField* field = FindIn(table, name))
        return field;
    return FindIn(ElementBaseFields, name);
}

std::string FieldText(const WSetupElement& element, const ElementField& field) {
    switch (field.form) {
    case FieldForm::Text:
        return (element.*field.text).str();
    case FieldForm::Flag:
        return element.*field.number ? "1" : "0";
    case FieldForm::Integer:
        return std::to_string(static_cast<long>(element.*field.number));
    case FieldForm::Double:
        return FormatDouble(element.*field.real);
    case FieldForm::WholeDouble:
        return WholeNumberText(element.*field.real);
    }
    return std::string();
}

FwString WriteFullRecord(const WSetupElement& element, const ElementFieldTable& table) {
    RecordBuilder record;
    for (const ElementField* field : FullRecordFields(table))
        record.Text(FieldText(element, *field));
    return record.Result();
}

FwString WriteShortRecord(const WSetupElement& element, const ElementFieldTable& table) {
    if (!table.hasShortRecord)
        return FwString();
    RecordBuilder record;
    AppendShortColumns(element, table, record);
    record.Empty(table.shortTrailingBlanks);
    std::string text = record.str();
    if (table.shortOpenEnd && !text.empty() && text.back() == ',')
        text.pop_back();
    return FwString(text);
}
