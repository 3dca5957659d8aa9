// Text records of elements and components: values in a fixed order, each followed by ",".
// Booleans are written "1" when nonzero and "0" otherwise, integers in decimal and doubles with
// "%f"; lists inside one column are joined by " | ".
#pragma once

#include <string>

#include "setup/core/framework.h"

// The "%f" form of a double.
std::string FormatDouble(double value);
// The "%f" form of a double cut before its first "." (its whole-number part).
std::string WholeNumberText(double value);

class RecordBuilder {
public:
    RecordBuilder& Text(const FwString& value) { return Text(value.c_str()); }
    RecordBuilder& Text(const std::string& value);
    RecordBuilder& Text(const char* value);
    RecordBuilder& Flag(int value) { return Text(value ? "1" : "0"); }
    RecordBuilder& Number(long value);
    RecordBuilder& Double(double value) { return Text(FormatDouble(value)); }
    // `count` empty columns.
    RecordBuilder& Empty(int count = 1);
    // Appends text as it is, with no "," after it.
    RecordBuilder& Raw(const std::string& text);

    const std::string& str() const { return m_text; }
    FwString Result() const { return FwString(m_text); }

private:
    std::string m_text;
};
