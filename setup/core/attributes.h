// Attribute strings of the kinds that create files and folders: six characters '0'/'1' (default
// "100000") read position by position as plain, archive, hidden, read-only, system, temporary.
#pragma once

#include <string>

constexpr const char* DefaultAttributeString = "100000";

// Applies the attribute string to the path; the result is that of SetFileAttributesA.
[[nodiscard]] bool ApplyAttributes(const std::string& path, const std::string& attributes);

// Compares the path's attributes with those the string asks for: 1 when they are equal; -2 when
// `folder` is 0 and the path carries the directory bit besides the expected ones; -1 otherwise.
[[nodiscard]] int CheckAttributes(const std::string& path, const std::string& attributes,
                                  int folder);
