#include "setup/core/record.h"

#include <cstdio>
#include <vector>

std::string FormatDouble(double value) {
    char small[64];
    int n = std::snprintf(small, sizeof small, "%f", value);
    if (n < 0)
        return std::string();
    if (static_cast<std::size_t>(n) < sizeof small)
        return std::string(small, static_cast<std::size_t>(n));
    // Large magnitudes print every integer digit.
    std::vector<char> big(static_cast<std::size_t>(n) + 1);
    std::snprintf(big.data(), big.size(), "%f", value);
    return std::string(big.data(), static_cast<std::size_t>(n));
}

std::string WholeNumberText(double value) {
    std::string text = FormatDouble(value);
    std::size_t dot = text.find('.');
    return dot == std::string::npos ? text : text.substr(0, dot);
}

RecordBuilder& RecordBuilder::Text(const std::string& value) {
    m_text += value;
    m_text += ',';
    return *this;
}

RecordBuilder& RecordBuilder::Text(const char* value) {
    if (value)
        m_text += value;
    m_text += ',';
    return *this;
}

RecordBuilder& RecordBuilder::Number(long value) {
    return Text(std::to_string(value));
}

RecordBuilder& RecordBuilder::Empty(int count) {
    if (count > 0)
        m_text.append(static_cast<std::size_t>(count), ',');
    return *this;
}

RecordBuilder& RecordBuilder::Raw(const std::string& text) {
    m_text += text;
    return *this;
}
