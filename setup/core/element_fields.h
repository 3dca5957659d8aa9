// Field tables of the element kinds: each kind declares once which fields it has, in which form
// their text is, where its full record writes them and what its short record keeps of them.
// The kinds' GetFullRecord and GetShortRecord are written from these tables, and a program that
// builds elements from texts (a product description, an uninstall log) sets fields by name
// through them.
//
// A table's members are member pointers of WSetupElement: a field of a kind is reached only
// through an element that really is of that kind (or of a kind derived from it).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "setup/core/element.h"

enum class FieldForm : unsigned char {
    Text,
    Flag,        // written "1" for any nonzero value, "0" otherwise; read only from "0" or "1"
    Integer,     // decimal
    Double,      // written with "%f"
    WholeDouble, // a double written as the whole-number part of its "%f" form
};

// What the short record does with a field of the full record.
enum class ShortForm : unsigned char {
    Omitted, // no column at all
    Blank,   // an empty column in its place
    Kept,    // written as in the full record
    // Written after the table's `expand` (the path macros); the full record keeps the field as
    // it is.
    KeptExpanded,
};

struct ElementField {
    const char* name;
    FieldForm form;
    FwString WSetupElement::*text; // the member for Text
    int WSetupElement::*number;    // the member for Flag and Integer
    double WSetupElement::*real;   // the member for Double and WholeDouble
    int column;                    // 1-based column of the full record; 0: not written
    ShortForm inShort;
};

// The field of `Kind` named `name`.
template <class Kind>
constexpr ElementField TextField(const char* name, FwString Kind::*member, int column = 0,
                                 ShortForm inShort = ShortForm::Omitted) {
    return {name,    FieldForm::Text, static_cast<FwString WSetupElement::*>(member),
            nullptr, nullptr,         column,
            inShort};
}
template <class Kind>
constexpr ElementField FlagField(const char* name, int Kind::*member, int column = 0,
                                 ShortForm inShort = ShortForm::Omitted) {
    return {name,    FieldForm::Flag, nullptr, static_cast<int WSetupElement::*>(member),
            nullptr, column,          inShort};
}
template <class Kind>
constexpr ElementField IntegerField(const char* name, int Kind::*member, int column = 0,
                                    ShortForm inShort = ShortForm::Omitted) {
    return {name,    FieldForm::Integer,
            nullptr, static_cast<int WSetupElement::*>(member),
            nullptr, column,
            inShort};
}
template <class Kind>
constexpr ElementField DoubleField(const char* name, double Kind::*member, int column = 0,
                                   ShortForm inShort = ShortForm::Omitted,
                                   FieldForm form = FieldForm::Double) {
    return {name,   form,   nullptr, nullptr, static_cast<double WSetupElement::*>(member),
            column, inShort};
}

struct ElementFieldTable {
    const ElementField* fields;
    std::size_t count;
    // The table whose full record this kind's full record begins with (its own columns then
    // continue that record's numbering); null for most kinds.
    const ElementFieldTable* extends;
    // Whether the kind writes a short record at all (an empty text otherwise).
    bool hasShortRecord;
    // Empty columns after the last field of the short record.
    int shortTrailingBlanks;
    // The short record's last column is not followed by ",".
    bool shortOpenEnd;
    // The one full-record column whose value may hold "," (the record does not escape it);
    // 0 when none may.
    int wideColumn;
    // Expansion of the KeptExpanded fields; null when the table has none.
    std::string (*expand)(const std::string& text);
};

template <std::size_t N>
constexpr ElementFieldTable
MakeFieldTable(const ElementField (&fields)[N], const ElementFieldTable* extends = nullptr,
               bool hasShortRecord = false, int shortTrailingBlanks = 0, bool shortOpenEnd = false,
               int wideColumn = 0, std::string (*expand)(const std::string&) = nullptr) {
    return {fields,       N,          extends, hasShortRecord, shortTrailingBlanks,
            shortOpenEnd, wideColumn, expand};
}

// The fields every element has (the base record's and UserText).
extern const ElementFieldTable ElementBaseFields;

// The fields of the full record in column order (those of the extended table first).
std::vector<const ElementField*> FullRecordFields(const ElementFieldTable& table);
// The field named `name` (case-sensitive) in the table, the tables it extends, or else among
// ElementBaseFields; null when none has it. Its `column` belongs to the table that holds it.
const ElementField* FindElementField(const ElementFieldTable& table, const std::string& name);

// A field's value in the form its record column writes it (before any short-record expansion).
std::string FieldText(const WSetupElement& element, const ElementField& field);

FwString WriteFullRecord(const WSetupElement& element, const ElementFieldTable& table);
FwString WriteShortRecord(const WSetupElement& element, const ElementFieldTable& table);
