#include "setup/elements/text_file_kinds.h"

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/fileutil.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/process.h"
#include "setup/core/line_file.h"
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

namespace {

constexpr ElementField RegFileFields[] = {
    TextField("Id", &WSetupElement::Id, 1),
    TextField("DestDir", &WSetupElement::DestDir, 2),
    TextField("DestName", &WSetupElement::DestName, 3),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 4),
    TextField("ExtraText", &WSetupElement::ExtraText, 5),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 6),
};

constexpr ElementField CustFileFields[] = {
    TextField("Id", &WSetupElement::Id, 1),
    TextField("DestDir", &WSetupElement::DestDir, 2),
    TextField("DestName", &WSetupElement::DestName, 3),
    TextField("SearchText", &WSetupCustFile::SearchText, 4),
    TextField("ReplaceText", &WSetupCustFile::ReplaceText, 5),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 6),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 7),
    TextField("ExtraText", &WSetupElement::ExtraText, 8),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 9),
};

constexpr ElementField ProfileStringFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("DestDir", &WSetupElement::DestDir, 2, ShortForm::Kept),
    TextField("DestName", &WSetupElement::DestName, 3, ShortForm::Kept),
    TextField("Section", &WSetupProfileString::Section, 4, ShortForm::Kept),
    TextField("Key", &WSetupProfileString::Key, 5, ShortForm::Kept),
    TextField("Value", &WSetupProfileString::Value, 6, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 7, ShortForm::Kept),
    TextField("PreviousValue", &WSetupProfileString::PreviousValue, 8, ShortForm::Kept),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 9, ShortForm::Kept),
    FlagField("RestoreOnUninstall", &WSetupProfileString::RestoreOnUninstall, 10, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 11),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 12),
};

// Install must answer `done`; Undo does nothing (0).
} // namespace

const ElementFieldTable WSetupRegFileFields = MakeFieldTable(RegFileFields);
// The replacement text may hold ",".
const ElementFieldTable WSetupCustFileFields =
    MakeFieldTable(CustFileFields, nullptr, false, 0, false, 5);
// The value may hold ","; the short record ends with RestoreOnUninstall, without a "," after it.
const ElementFieldTable WSetupProfileStringFields =
    MakeFieldTable(ProfileStringFields, nullptr, true, 0, true, 6);

namespace {

constexpr StatusMeaning RegFileMeaningRows[] = {
    {ElementStep::Install, RegFileMerged, StepMeaning::Done},
    {ElementStep::Undo, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Check, RegFileMerged, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName RegFileStatusNames[] = {
    {ElementStep::Install, RegFileMerged, "RegFileMerged"},
    {ElementStep::Install, RegFileAbsent, "RegFileAbsent"},
    {ElementStep::Install, RegFileEditorFailed, "RegFileEditorFailed"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, RegFileMerged, "RegFileMerged"},
    {ElementStep::Check, RegFileAbsent, "RegFileAbsent"},
    {ElementStep::Check, RegFileEditorFailed, "RegFileEditorFailed"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

constexpr StatusMeaning CustFileMeaningRows[] = {
    {ElementStep::Install, CustFileReplaced, StepMeaning::Done},
    {ElementStep::Undo, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Check, CustFileReplaced, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName CustFileStatusNames[] = {
    {ElementStep::Install, CustFileReplaced, "CustFileReplaced"},
    {ElementStep::Install, CustFileAbsent, "CustFileAbsent"},
    {ElementStep::Install, CustFileNotPlain, "CustFileNotPlain"},
    {ElementStep::Install, CustFileNotReplaced, "CustFileNotReplaced"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, CustFileReplaced, "CustFileReplaced"},
    {ElementStep::Check, CustFileAbsent, "CustFileAbsent"},
    {ElementStep::Check, CustFileNotPlain, "CustFileNotPlain"},
    {ElementStep::Check, CustFileNotReplaced, "CustFileNotReplaced"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

constexpr StatusMeaning ProfileStringMeaningRows[] = {
    {ElementStep::Install, ProfileWritten, StepMeaning::Done},
    {ElementStep::Undo, ProfileKeyDeleted, StepMeaning::Done},
    {ElementStep::Undo, ProfileRestored, StepMeaning::Done},
    {ElementStep::Undo, ProfileNotToBeRemoved, StepMeaning::NothingToDo},
    {ElementStep::Check, ProfileHasValue, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName ProfileStringStatusNames[] = {
    {ElementStep::Install, ProfileWritten, "ProfileWritten"},
    {ElementStep::Install, ProfileNotPlain, "ProfileNotPlain"},
    {ElementStep::Install, ProfileNotWritten, "ProfileNotWritten"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ProfileKeyDeleted, "ProfileKeyDeleted"},
    {ElementStep::Undo, ProfileNotToBeRemoved, "ProfileNotToBeRemoved"},
    {ElementStep::Undo, ProfileRestored, "ProfileRestored"},
    {ElementStep::Undo, ProfileRemovalNotPlain, "ProfileRemovalNotPlain"},
    {ElementStep::Undo, ProfileDeleteFailed, "ProfileDeleteFailed"},
    {ElementStep::Undo, ProfileRestoreFailed, "ProfileRestoreFailed"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ProfileHasValue, "ProfileHasValue"},
    {ElementStep::Check, ProfileFileMissing, "ProfileFileMissing"},
    {ElementStep::Check, ProfileKeyEmpty, "ProfileKeyEmpty"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

} // namespace

const StepMeaningTable WSetupRegFileMeanings =
    MakeMeaningTable(RegFileMeaningRows, RegFileStatusNames);
const StepMeaningTable WSetupCustFileMeanings =
    MakeMeaningTable(CustFileMeaningRows, CustFileStatusNames);
const StepMeaningTable WSetupProfileStringMeanings =
    MakeMeaningTable(ProfileStringMeaningRows, ProfileStringStatusNames);

// ---------------------------------------------------------------------------------------------
// WSetupRegFile

WSetupRegFile::WSetupRegFile() : WSetupElement(KindRegFile) {}

int WSetupRegFile::InstallStep(int shortNames) {
    const std::string file = ElementPath(*this, shortNames != 0);
    if (!IsExistingFile(file))
        return Status = RegFileAbsent;
    return Status = MergeRegistryFile(file) ? RegFileMerged : RegFileEditorFailed;
}

int WSetupRegFile::Uninstall() {
    return Status = ElementDone;
}

int WSetupRegFile::Verify() {
    return Status = IsExistingFile(ElementPath(*this, false)) ? RegFileMerged : RegFileAbsent;
}

FwString WSetupRegFile::GetFullRecord() {
    return WriteFullRecord(*this, WSetupRegFileFields);
}

FwString WSetupRegFile::GetShortRecord() {
    return WriteShortRecord(*this, WSetupRegFileFields);
}

// ---------------------------------------------------------------------------------------------
// WSetupCustFile

WSetupCustFile::WSetupCustFile() : WSetupElement(KindCustFile) {}

int WSetupCustFile::InstallStep(int shortNames) {
    const std::string file = ElementPath(*this, shortNames != 0);
    const DWORD attributes = FileAttributesOf(file);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Status = CustFileAbsent;
    if (!MakePlainForWriting(file, attributes))
        return Status = CustFileNotPlain;
    if (!ReplaceInTextFile(file, SearchText, ExpandText(ReplaceText), true)) {
        // The text is as it was; so are its attributes.
        SetFileAttributesA(file.c_str(), attributes);
        return Status = CustFileNotReplaced;
    }
    return Status = CustFileReplaced;
}

int WSetupCustFile::Uninstall() {
    return Status = ElementDone;
}

int WSetupCustFile::Verify() {
    return Status = IsExistingFile(ElementPath(*this, false)) ? CustFileReplaced : CustFileAbsent;
}

FwString WSetupCustFile::GetFullRecord() {
    return WriteFullRecord(*this, WSetupCustFileFields);
}

FwString WSetupCustFile::GetShortRecord() {
    return WriteShortRecord(*this, WSetupCustFileFields);
}

// ---------------------------------------------------------------------------------------------
// WSetupProfileString

WSetupProfileString::WSetupProfileString() : WSetupElement(KindProfileString) {}

int WSetupProfileString::InstallStep(int shortNames) {
    const std::string file = ElementPath(*this, shortNames != 0);
    const std::string value = ExpandText(Value);
    if (file.empty() || !IsWritableEntry(Section, Key) || HasLineBreak(value))
        return Status = ProfileNotWritten;
    const DWORD attributes = FileAttributesOf(file);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!MakePlainForWriting(file, attributes))
            return Status = ProfileNotPlain;
        // What was there before is kept, not a value this element wrote itself earlier.
        const std::string current = ReadProfileValue(file, Section, Key);
        if (!current.empty() && current != AsReadBack(value))
            PreviousValue = current;
    }
    if (!WriteProfileEntry(file, Section, Key, value.c_str())) {
        if (attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(file.c_str(), attributes);
        return Status = ProfileNotWritten;
    }
    return Status = ProfileWritten;
}

int WSetupProfileString::Uninstall() {
    ChangeMark = 0;
    if (!RemoveOnUninstall)
        return Status = ProfileNotToBeRemoved;
    const std::string file = ElementPath(*this, false);
    const DWORD attributes = FileAttributesOf(file);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Status = ProfileKeyDeleted;
    if (!MakePlainForWriting(file, attributes))
        return Status = ProfileRemovalNotPlain;
    const bool writable = IsWritableEntry(Section, Key);
    int result;
    if (RestoreOnUninstall) {
        // The previous value is text read from the file: it goes back as it was, unexpanded.
        const std::string previous = PreviousValue;
        const bool restored = writable && !HasLineBreak(previous) &&
                              WriteProfileEntry(file, Section, Key, previous.c_str());
        result = restored ? ProfileRestored : ProfileRestoreFailed;
    } else {
        const bool deleted = writable && WriteProfileEntry(file, Section, Key, nullptr);
        result = deleted ? ProfileKeyDeleted : ProfileDeleteFailed;
    }
    if (result >= ProfileRemovalNotPlain)
        SetFileAttributesA(file.c_str(), attributes);
    return Status = result;
}

int WSetupProfileString::Verify() {
    const std::string file = ElementPath(*this, false);
    if (!IsExistingFile(file))
        return Status = ProfileFileMissing;
    return Status =
               ReadProfileValue(file, Section, Key).empty() ? ProfileKeyEmpty : ProfileHasValue;
}

FwString WSetupProfileString::GetFullRecord() {
    return WriteFullRecord(*this, WSetupProfileStringFields);
}

FwString WSetupProfileString::GetShortRecord() {
    return WriteShortRecord(*this, WSetupProfileStringFields);
}
