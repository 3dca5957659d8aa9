#include "setup/elements/text_file_kinds.h"

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/fileutil.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/process.h"
#include "setup/core/record.h"
#include "setup/core/restart_ini.h"
#include "setup/core/text.h"
#include "setup/elements/element_paths.h"

FW_IMPLEMENT_DYNCREATE(WSetupRegFile, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupCustFile, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupProfileString, WSetupElement)

namespace {

bool IsExistingFile(const std::string& path) {
    return FileAttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Whether the profile writer can put this key into this section without changing the file's
// structure: a line break would start new lines (a new section, even), a "]" would end the
// section name early, an "=" in a key would move the rest of it into the value, and a key that
// starts with "[" or ";" would be read back as a section line or a comment.
bool IsWritableEntry(const std::string& section, const std::string& key) {
    const std::string trimmedSection = Trimmed(section);
    const std::string trimmedKey = Trimmed(key);
    if (trimmedSection.empty() || trimmedKey.empty())
        return false;
    if (HasLineBreak(section) || ContainsText(section, "]", true))
        return false;
    if (HasLineBreak(key) || ContainsText(key, "=", true))
        return false;
    return trimmedKey[0] != '[' && trimmedKey[0] != ';';
}

// The value as the profile reader gives it back after it was written: trimmed, and without one
// pair of enclosing quotes.
std::string AsReadBack(const std::string& value) {
    std::string text = Trimmed(value);
    if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0])
        text = text.substr(1, text.size() - 2);
    return text;
}

// The key's value through the platform's profile reader (trimmed, of any length); empty when
// the key is missing or empty.
std::string ReadProfileValue(const std::string& file, const std::string& section,
                             const std::string& key) {
    std::vector<char> buffer(512);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                                 size, file.c_str());
        // A value that filled the buffer may have been cut: read again with more room.
        if (n + 1 < size || size >= (64u << 20))
            return std::string(buffer.data(), n < size ? n : size - 1);
        buffer.resize(buffer.size() * 2);
    }
}

// Writes (or, with a null value, deletes) the key, then flushes the platform's cached copy of
// the file so that the change is on disk and the next reader of the text sees it. The flush
// itself reports nothing useful (it answers 0 on some platforms when all went well).
bool WriteProfileEntry(const std::string& file, const std::string& section, const std::string& key,
                       const char* value) {
    const bool written =
        WritePrivateProfileStringA(section.c_str(), key.c_str(), value, file.c_str()) != FALSE;
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
    return written;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// WSetupRegFile

WSetupRegFile::WSetupRegFile() : WSetupElement(KindRegFile) {}

int WSetupRegFile::InstallStep(int shortNames) {
    const std::string file = ElementPath(*this, shortNames != 0);
    if (!IsExistingFile(file))
        return Status = 1;
    return Status = MergeRegistryFile(file) ? 0 : 2;
}

int WSetupRegFile::Uninstall() {
    return Status = 0;
}

int WSetupRegFile::Verify() {
    return Status = IsExistingFile(ElementPath(*this, false)) ? 0 : 1;
}

FwString WSetupRegFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(OptionFlags)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupRegFile::GetShortRecord() {
    return FwString();
}

// ---------------------------------------------------------------------------------------------
// WSetupCustFile

WSetupCustFile::WSetupCustFile() : WSetupElement(KindCustFile) {}

int WSetupCustFile::InstallStep(int shortNames) {
    const std::string file = ElementPath(*this, shortNames != 0);
    const DWORD attributes = FileAttributesOf(file);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Status = 1;
    if (!MakePlainForWriting(file, attributes))
        return Status = 2;
    if (!ReplaceInTextFile(file, SearchText, ExpandText(ReplaceText), true)) {
        // The text is as it was; so are its attributes.
        SetFileAttributesA(file.c_str(), attributes);
        return Status = 3;
    }
    return Status = 0;
}

int WSetupCustFile::Uninstall() {
    return Status = 0;
}

int WSetupCustFile::Verify() {
    return Status = IsExistingFile(ElementPath(*this, false)) ? 0 : 1;
}

FwString WSetupCustFile::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(SearchText)
        .Text(ReplaceText)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupCustFile::GetShortRecord() {
    return FwString();
}

// ---------------------------------------------------------------------------------------------
// WSetupProfileString

WSetupProfileString::WSetupProfileString() : WSetupElement(KindProfileString) {}

int WSetupProfileString::InstallStep(int shortNames) {
    const std::string file = ElementPath(*this, shortNames != 0);
    const std::string value = ExpandText(Value);
    if (file.empty() || !IsWritableEntry(Section, Key) || HasLineBreak(value))
        return Status = 2;
    const DWORD attributes = FileAttributesOf(file);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!MakePlainForWriting(file, attributes))
            return Status = 1;
        // What was there before is kept, not a value this element wrote itself earlier.
        const std::string current = ReadProfileValue(file, Section, Key);
        if (!current.empty() && current != AsReadBack(value))
            PreviousValue = current;
    }
    if (!WriteProfileEntry(file, Section, Key, value.c_str())) {
        if (attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(file.c_str(), attributes);
        return Status = 2;
    }
    return Status = 0;
}

int WSetupProfileString::Uninstall() {
    ChangeMark = 0;
    if (!RemoveOnUninstall)
        return Status = 1;
    const std::string file = ElementPath(*this, false);
    const DWORD attributes = FileAttributesOf(file);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Status = 0;
    if (!MakePlainForWriting(file, attributes))
        return Status = 3;
    const bool writable = IsWritableEntry(Section, Key);
    int result;
    if (RestoreOnUninstall) {
        // The previous value is text read from the file: it goes back as it was, unexpanded.
        const std::string previous = PreviousValue;
        const bool restored = writable && !HasLineBreak(previous) &&
                              WriteProfileEntry(file, Section, Key, previous.c_str());
        result = restored ? 2 : 5;
    } else {
        const bool deleted = writable && WriteProfileEntry(file, Section, Key, nullptr);
        result = deleted ? 0 : 4;
    }
    if (result > 2)
        SetFileAttributesA(file.c_str(), attributes);
    return Status = result;
}

int WSetupProfileString::Verify() {
    const std::string file = ElementPath(*this, false);
    if (!IsExistingFile(file))
        return Status = 1;
    return Status = ReadProfileValue(file, Section, Key).empty() ? 2 : 0;
}

FwString WSetupProfileString::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Section)
        .Text(Key)
        .Text(Value)
        .Text(OptionFlags)
        .Text(PreviousValue)
        .Flag(RemoveOnUninstall)
        .Flag(RestoreOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

// The short record ends with RestoreOnUninstall and no "," after it.
FwString WSetupProfileString::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Section)
        .Text(Key)
        .Text(Value)
        .Text(OptionFlags)
        .Text(PreviousValue)
        .Flag(RemoveOnUninstall)
        .Raw(RestoreOnUninstall ? "1" : "0")
        .Result();
}
