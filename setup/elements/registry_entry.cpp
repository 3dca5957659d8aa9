#include "setup/elements/registry_entry.h"

#include <cstdlib>
#include <map>

#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/text.h"

FW_IMPLEMENT_DYNCREATE(WSetupRegEntry, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupRuntimeRegEntry, WSetupElement)

namespace {

const char* const RootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE",
                                 "HKEY_USERS",        "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

// Keys of the operating system that no entry may remove, by root (same order as RootNames).
const char* const ClassesRootKeys[] = {"CLSID", nullptr};
const char* const CurrentUserKeys[] = {"AppEvents",          "Control Panel",   "Environment",
                                       "InstallLocationMRU", "keyboard layout", "Network",
                                       "RemoteAccess",       "Software",        nullptr};
const char* const LocalMachineKeys[] = {"Config",   "Enum",     "hardware", "Network",
                                        "Security", "SOFTWARE", "System",   nullptr};
const char* const UsersKeys[] = {".Default",
                                 ".Default\\AppEvents",
                                 ".Default\\Control Panel",
                                 ".Default\\Environment",
                                 ".Default\\InstallLocationMRU",
                                 ".Default\\keyboard layout",
                                 ".Default\\Network",
                                 ".Default\\RemoteAccess",
                                 ".Default\\Software",
                                 "Software",
                                 nullptr};
const char* const CurrentConfigKeys[] = {
    "Display", "Display\\Fonts", "Display\\Settings", "System", "System\\CurrentControlSet",
    nullptr};
const char* const DynDataKeys[] = {"Config Manager", "Config Manager\\Enum", "PerfStats", nullptr};
const char* const* const ProtectedKeys[] = {ClassesRootKeys, CurrentUserKeys,   LocalMachineKeys,
                                            UsersKeys,       CurrentConfigKeys, DynDataKeys};

// Index into RootNames, or -1.
int RootIndex(const std::string& rootName) {
    const std::string upper = Uppercased(rootName);
    for (int i = 0; i < 6; ++i) {
        if (upper == RootNames[i])
            return i;
    }
    return -1;
}

enum class EntryType { String, Dword, Binary };

EntryType TypeOf(const std::string& valueType) {
    const std::string upper = Uppercased(valueType);
    if (upper == "DWORD")
        return EntryType::Dword;
    if (upper == "BINARY-RAW" || upper == "BINARY-STRING" || upper == "BINARY-WIDESTRING")
        return EntryType::Binary;
    return EntryType::String;
}

// Key path, backslash, value name; just the name under the root itself.
std::string JoinValuePath(const std::string& keyPath, const std::string& valueName) {
    return keyPath.empty() ? valueName : keyPath + "\\" + valueName;
}

bool IsDigits(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The exact unsigned decimal form of a 32-bit number, 4294967295 included.
bool ParseDword(const std::string& text, DWORD& number) {
    if (!IsDigits(text))
        return false;
    unsigned long long value = 0;
    for (char c : text) {
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 0xFFFFFFFFull)
            return false;
    }
    number = static_cast<DWORD>(value);
    return true;
}

// A stored value (`present`, its type and bytes) in PreviousValue's text form for the entry's
// type: a DWORD entry takes a DWORD or four bytes of binary data, and 0 for anything else (an
// absent value included); a binary entry takes binary data only; a string entry takes the text
// of any string type (of a multi-string, its first string). Empty when there is nothing to take.
std::string PreviousValueText(bool present, DWORD type, const ByteList& data, EntryType entryType) {
    switch (entryType) {
    case EntryType::Dword: {
        DWORD number = 0;
        if (present && (type == REG_DWORD || type == REG_BINARY) && data.size() == 4)
            number = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                     static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
        return std::to_string(number);
    }
    case EntryType::Binary:
        return present && type == REG_BINARY
                   ? BytesToHex(data.data(), data.size(), HexLayout::Separated)
                   : std::string();
    case EntryType::String:
        break;
    }
    if (!present || (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ))
        return {};
    // The text ends at its first zero (or with the data when the stored value has none).
    std::size_t length = 0;
    while (length < data.size() && data[length] != 0)
        ++length;
    return std::string(reinterpret_cast<const char*>(data.data()), length);
}

// The key that holds the value an entry writes: opened when it exists, so that the previous
// value is read through the same handle the write uses, and created only for the write.
class TargetKey {
public:
    TargetKey(HKEY root, std::string path) : m_root(root), m_path(std::move(path)) {
        const LONG rc = OpenRegKey(m_root, m_path, KEY_ALL_ACCESS, m_key);
        // Present but not writable: still read what it holds (when that fails too, there is
        // nothing to read: Stored answers false).
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            (void)OpenRegKey(m_root, m_path, KEY_QUERY_VALUE, m_readOnly);
    }

    // The value's stored type and bytes; false when it is absent or cannot be read.
    bool Stored(const std::string& name, DWORD& type, ByteList& data) const {
        const HKEY key = m_key ? m_key.Get() : m_readOnly.Get();
        std::string bytes;
        if (!key || !ReadRegValue(key, name, type, bytes))
            return false;
        data.assign(bytes.begin(), bytes.end());
        return true;
    }
    // The key opened for writing, created with every missing parent when absent; null when
    // that fails.
    HKEY ForWrite() {
        if (!m_key)
            (void)CreateRegKey(m_root, m_path, KEY_ALL_ACCESS, m_key); // an empty key tells it
        return m_key.Get();
    }
    // Closes the key; false when the platform reports a failure.
    bool Close() { return m_key.Reset(); }

private:
    HKEY m_root;
    std::string m_path;
    RegKey m_key;
    RegKey m_readOnly;
};

bool KeyIsAbsent(HKEY root, const std::string& keyPath) {
    RegKey key;
    return OpenRegKey(root, keyPath, KEY_READ, key) == ERROR_FILE_NOT_FOUND;
}

// Deletes the value at the path; true when it is gone afterwards, also when it (or its key)
// was never there. A key that exists but cannot be opened keeps its value: false.
bool DeleteValueAt(HKEY root, const std::string& valuePath) {
    const std::string name = FileNameOf(valuePath);
    RegKey key;
    const LONG rc = OpenRegKey(root, ParentOf(valuePath), KEY_QUERY_VALUE | KEY_SET_VALUE, key);
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    if (RegDeleteValueA(key.Get(), name.c_str()) == ERROR_SUCCESS)
        return true;
    return RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_FILE_NOT_FOUND;
}

// Deletes the key (with its subkeys when asked); true when it is gone now, was already gone,
// or was left alone because it has subkeys and `withSubkeys` is not set.
bool DeleteKeyAt(HKEY root, const std::string& keyPath, bool withSubkeys) {
    return DeleteRegKeyStatus(root, keyPath, withSubkeys) < 7 || KeyIsAbsent(root, keyPath);
}

// What an entry's Install found where it writes, as the registry stored it. A record carries
// PreviousValue's text alone, which cannot tell an expandable string from a plain one, holds a
// multi-string's first string only, and turns four binary bytes into a number; with this the
// value goes back with its type and every byte.
struct FoundValue {
    std::string place; // root, key path and value name, as the entry named them then
    std::string text;  // PreviousValue as Install left it
    DWORD type = REG_NONE;
    ByteList bytes;
};
using FoundValues = std::map<const WSetupRegEntry*, FoundValue>;

// One per element, from its Install until its destruction. Made on first use and never
// destroyed, so nothing of it runs when the plug-in unloads.
FoundValues* g_foundValues = nullptr;

FoundValues& AllFoundValues() {
    if (!g_foundValues)
        g_foundValues = new FoundValues();
    return *g_foundValues;
}

void Forget(const WSetupRegEntry& entry) {
    if (g_foundValues)
        g_foundValues->erase(&entry);
}

std::string PlaceOf(const WSetupRegEntry& entry) {
    return Uppercased(entry.RootName) + '\n' + NormalizeRegName(entry.KeyPath) + '\n' +
           NormalizeRegName(entry.ValueName);
}

// What the entry found, while it still names the same place and PreviousValue is still the
// text taken from it; null otherwise (nothing found, or an entry built again from its record).
const FoundValue* FoundFor(const WSetupRegEntry& entry) {
    if (!g_foundValues)
        return nullptr;
    const auto it = g_foundValues->find(&entry);
    if (it == g_foundValues->end() || it->second.text != entry.PreviousValue.str() ||
        it->second.place != PlaceOf(entry))
        return nullptr;
    return &it->second;
}

// Reads the value the entry is about to write into PreviousValue and remembers it as stored.
void TakePrevious(WSetupRegEntry& entry, const TargetKey& key, const std::string& name,
                  EntryType type) {
    DWORD stored = REG_NONE;
    ByteList bytes;
    const bool present = key.Stored(name, stored, bytes);
    entry.PreviousValue = PreviousValueText(present, stored, bytes, type);
    if (present)
        AllFoundValues()[&entry] = {PlaceOf(entry), entry.PreviousValue.str(), stored, bytes};
    else
        Forget(entry);
}

// Writes a value as it was found, creating its key when missing.
bool WriteFoundValue(HKEY root, const std::string& keyPath, const std::string& name,
                     const FoundValue& found) {
    RegKey key;
    if (CreateRegKey(root, keyPath, KEY_ALL_ACCESS, key) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.Get(), name.c_str(), 0, found.type,
                          found.bytes.empty() ? nullptr : found.bytes.data(),
                          static_cast<DWORD>(found.bytes.size())) == ERROR_SUCCESS;
}

// The writers of Install, one per kind of value; each answers the entry's status. The previous
// value has been taken already.

// The key itself (no data), or its default value (data, which must be of type STRING).
int WriteKeyOrDefault(WSetupRegEntry& entry, HKEY root, const std::string& keyPath,
                      const std::string& data) {
    const bool defaultValue = !data.empty();
    if (defaultValue && !EqualText(entry.ValueType, "STRING", false))
        return EntryDefaultNotString;
    TargetKey key(root, keyPath);
    TakePrevious(entry, key, "", EntryType::String);
    if (defaultValue)
        return key.ForWrite() && WriteRegString(key.ForWrite(), "", data) ? EntryDefaultWritten
                                                                          : EntryDefaultFailed;
    if (!key.ForWrite())
        return EntryKeyFailed;
    return key.Close() ? EntryKeyCreated : EntryKeyCloseFailed;
}

// A decimal number; 4294967295 (or more) is refused.
int WriteDwordValue(TargetKey& key, const std::string& name, const std::string& data) {
    const DWORD number = std::strtoul(data.c_str(), nullptr, 10);
    if (number == 0xFFFFFFFFul)
        return EntryDwordOutOfRange;
    return key.ForWrite() && WriteRegDword(key.ForWrite(), name, number) ? EntryDwordWritten
                                                                         : EntryDwordFailed;
}

// The bytes of a binary entry's text (expanded once more, variables first): hexadecimal pairs
// for BINARY-RAW, the text with its terminating zero for BINARY-STRING, the text in UTF-16 with
// its terminating zero for BINARY-WIDESTRING. False when the text cannot be converted.
bool BinaryEntryBytes(const std::string& valueType, const std::string& data, ByteList& bytes) {
    const std::string text = ExpandText(TheSetupContext().ExpandVariables(data));
    if (EqualText(valueType, "BINARY-RAW", false))
        return HexTextToBytes(text, bytes);
    if (EqualText(valueType, "BINARY-STRING", false)) {
        bytes.assign(text.c_str(), text.c_str() + text.size() + 1);
        return true;
    }
    const int units =
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size() + 1), nullptr, 0);
    if (units <= 0)
        return false;
    std::vector<WCHAR> wide(static_cast<std::size_t>(units));
    if (MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size() + 1), wide.data(),
                            units) != units)
        return false;
    const BYTE* raw = reinterpret_cast<const BYTE*>(wide.data());
    bytes.assign(raw, raw + wide.size() * sizeof(WCHAR));
    return true;
}

int WriteBinaryValue(TargetKey& key, const std::string& name, const std::string& data,
                     const std::string& valueType) {
    ByteList bytes;
    if (!BinaryEntryBytes(valueType, data, bytes))
        return EntryBinaryFailed;
    return key.ForWrite() && WriteRegBinary(key.ForWrite(), name, bytes.data(),
                                            static_cast<DWORD>(bytes.size()))
               ? EntryBinaryWritten
               : EntryBinaryFailed;
}

int WriteStringValue(TargetKey& key, const std::string& name, const std::string& data) {
    return key.ForWrite() && WriteRegString(key.ForWrite(), name, data) ? EntryStringWritten
                                                                        : EntryStringFailed;
}

} // namespace

bool HexTextToBytes(const std::string& text, ByteList& bytes, bool printableOnly) {
    bytes.clear();
    const std::size_t colon = text.rfind(':'); // ':' is never the second byte of a character
    std::string decoded;
    if (!HexToBytes(colon == std::string::npos ? text : text.substr(colon + 1),
                    HexLayout::Separated, decoded))
        return false;
    bytes.assign(decoded.begin(), decoded.end());
    if (printableOnly)
        for (BYTE& b : bytes)
            if (b < 0x20 || b > 0x7E)
                b = 0x20;
    return true;
}

RegEntryPlace RegEntryPlaceOf(const std::string& keyPath, const std::string& valueName) {
    const std::string key = NormalizeRegName(keyPath);
    const std::string name = NormalizeRegName(valueName);
    if (name.empty())
        return {key, "", key};
    const std::string path = JoinValuePath(key, name);
    return {ParentOf(path), FileNameOf(path), path};
}

std::string NormalizeRegName(const std::string& name) {
    // Components between backslashes, found by character so that a trail byte 0x5C is no
    // separator. Empty ones (from runs of backslashes) are dropped, and so are blank ones at
    // either end ("\ \Key\ ").
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = FindText(name, "\\", true, start);
        if (end == TextNotFound)
            end = name.size();
        if (end > start)
            parts.push_back(name.substr(start, end - start));
        start = end + 1;
    }
    std::size_t first = 0;
    std::size_t last = parts.size();
    while (first < last && Trimmed(parts[first]).empty())
        ++first;
    while (last > first && Trimmed(parts[last - 1]).empty())
        --last;
    std::string joined;
    for (std::size_t i = first; i < last; ++i) {
        if (i > first)
            joined += '\\';
        joined += parts[i];
    }
    return Trimmed(joined);
}

bool IsRegEntryRootName(const std::string& rootName) {
    return RootIndex(rootName) >= 0;
}

bool IsProtectedRegKey(const std::string& rootName, const std::string& normalisedPath) {
    if (normalisedPath.empty())
        return true;
    const int root = RootIndex(rootName);
    if (root < 0)
        return false;
    for (const char* const* key = ProtectedKeys[root]; *key; ++key) {
        if (EqualText(normalisedPath, *key, false))
            return true;
    }
    return false;
}

namespace {

constexpr ElementField RegEntryFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("RootName", &WSetupRegEntry::RootName, 2, ShortForm::Kept),
    TextField("KeyPath", &WSetupRegEntry::KeyPath, 3, ShortForm::Kept),
    TextField("ValueName", &WSetupRegEntry::ValueName, 4, ShortForm::Kept),
    TextField("ValueData", &WSetupRegEntry::ValueData, 5, ShortForm::Kept),
    TextField("ValueType", &WSetupRegEntry::ValueType, 6, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 7, ShortForm::Kept),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 8, ShortForm::Kept),
    FlagField("DeleteSubkeys", &WSetupRegEntry::DeleteSubkeys, 9, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 10, ShortForm::Blank),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 11, ShortForm::Blank),
    TextField("PreviousValue", &WSetupRegEntry::PreviousValue, 12, ShortForm::Kept),
    FlagField("RestoreOnUninstall", &WSetupRegEntry::RestoreOnUninstall, 13, ShortForm::Kept),
};

constexpr ElementField RuntimeRegEntryFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("RootName", &WSetupRuntimeRegEntry::RootName, 2, ShortForm::Kept),
    TextField("KeyPath", &WSetupRuntimeRegEntry::KeyPath, 3, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 4, ShortForm::Kept),
    FlagField("DeleteSubkeys", &WSetupRuntimeRegEntry::DeleteSubkeys, 5, ShortForm::Kept),
    TextField("EntryKind", &WSetupRuntimeRegEntry::EntryKind, 6, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 7, ShortForm::Blank),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 8, ShortForm::Blank),
};

} // namespace

// The value data may hold ",".
const ElementFieldTable WSetupRegEntryFields =
    MakeFieldTable(RegEntryFields, nullptr, true, 0, false, 5);
// The short record ends with one more empty column than the full record has.
const ElementFieldTable WSetupRuntimeRegEntryFields =
    MakeFieldTable(RuntimeRegEntryFields, nullptr, true, 1);

namespace {

constexpr StatusMeaning RegEntryMeaningRows[] = {
    {ElementStep::Install, EntryDefaultWritten, StepMeaning::Done},
    {ElementStep::Install, EntryStringWritten, StepMeaning::Done},
    {ElementStep::Install, EntryBinaryWritten, StepMeaning::Done},
    {ElementStep::Install, EntryKeyCreated, StepMeaning::Done},
    {ElementStep::Install, EntryDwordWritten, StepMeaning::Done},
    {ElementStep::Undo, EntryValueGone, StepMeaning::Done},
    {ElementStep::Undo, EntryKeyTreeDeleted, StepMeaning::Done},
    {ElementStep::Undo, EntryKeyDeleted, StepMeaning::Done},
    {ElementStep::Undo, EntryPreviousRestored, StepMeaning::Done},
    {ElementStep::Undo, EntryRemovalSkipped, StepMeaning::NothingToDo},
    {ElementStep::Check, EntryCheckReadable, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName RegEntryStatusNames[] = {
    {ElementStep::Install, EntryDefaultWritten, "EntryDefaultWritten"},
    {ElementStep::Install, EntryStringWritten, "EntryStringWritten"},
    {ElementStep::Install, EntryBinaryWritten, "EntryBinaryWritten"},
    {ElementStep::Install, EntryKeyCreated, "EntryKeyCreated"},
    {ElementStep::Install, EntryDwordWritten, "EntryDwordWritten"},
    {ElementStep::Install, EntryRootRefused, "EntryRootRefused"},
    {ElementStep::Install, EntryDataWithoutName, "EntryDataWithoutName"},
    {ElementStep::Install, EntryNothingNamed, "EntryNothingNamed"},
    {ElementStep::Install, EntryDefaultFailed, "EntryDefaultFailed"},
    {ElementStep::Install, EntryStringFailed, "EntryStringFailed"},
    {ElementStep::Install, EntryBinaryFailed, "EntryBinaryFailed"},
    {ElementStep::Install, EntryKeyFailed, "EntryKeyFailed"},
    {ElementStep::Install, EntryDefaultNotString, "EntryDefaultNotString"},
    {ElementStep::Install, EntryDwordFailed, "EntryDwordFailed"},
    {ElementStep::Install, EntryDwordOutOfRange, "EntryDwordOutOfRange"},
    {ElementStep::Install, EntryKeyCloseFailed, "EntryKeyCloseFailed"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, EntryRemovalSkipped, "EntryRemovalSkipped"},
    {ElementStep::Undo, EntryRemovalRootRefused, "EntryRemovalRootRefused"},
    {ElementStep::Undo, EntryRemovalProtected, "EntryRemovalProtected"},
    {ElementStep::Undo, EntryValueGone, "EntryValueGone"},
    {ElementStep::Undo, EntryKeyTreeDeleted, "EntryKeyTreeDeleted"},
    {ElementStep::Undo, EntryKeyDeleted, "EntryKeyDeleted"},
    {ElementStep::Undo, EntryPreviousRestored, "EntryPreviousRestored"},
    {ElementStep::Undo, EntryValueNotDeleted, "EntryValueNotDeleted"},
    {ElementStep::Undo, EntryKeyTreeNotDeleted, "EntryKeyTreeNotDeleted"},
    {ElementStep::Undo, EntryKeyNotDeleted, "EntryKeyNotDeleted"},
    {ElementStep::Undo, EntryRestoreFailed, "EntryRestoreFailed"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, EntryCheckRootRefused, "EntryCheckRootRefused"},
    {ElementStep::Check, EntryCheckDataWithoutName, "EntryCheckDataWithoutName"},
    {ElementStep::Check, EntryCheckNothingNamed, "EntryCheckNothingNamed"},
    {ElementStep::Check, EntryCheckReadable, "EntryCheckReadable"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

constexpr StatusMeaning RuntimeRegEntryMeaningRows[] = {
    {ElementStep::Install, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Undo, RuntimeRegValueGone, StepMeaning::Done},
    {ElementStep::Undo, RuntimeRegKeyDeleted, StepMeaning::Done},
    {ElementStep::Undo, RuntimeRegKeyTreeDeleted, StepMeaning::Done},
    {ElementStep::Check, ElementDone, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName RuntimeRegEntryStatusNames[] = {
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, RuntimeRegValueGone, "RuntimeRegValueGone"},
    {ElementStep::Undo, RuntimeRegKeyDeleted, "RuntimeRegKeyDeleted"},
    {ElementStep::Undo, RuntimeRegKeyTreeDeleted, "RuntimeRegKeyTreeDeleted"},
    {ElementStep::Undo, RuntimeRegRootRefused, "RuntimeRegRootRefused"},
    {ElementStep::Undo, RuntimeRegProtected, "RuntimeRegProtected"},
    {ElementStep::Undo, RuntimeRegValueNotDeleted, "RuntimeRegValueNotDeleted"},
    {ElementStep::Undo, RuntimeRegKeyNotDeleted, "RuntimeRegKeyNotDeleted"},
    {ElementStep::Undo, RuntimeRegKeyTreeNotDeleted, "RuntimeRegKeyTreeNotDeleted"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

} // namespace

const StepMeaningTable WSetupRegEntryMeanings =
    MakeMeaningTable(RegEntryMeaningRows, RegEntryStatusNames);
const StepMeaningTable WSetupRuntimeRegEntryMeanings =
    MakeMeaningTable(RuntimeRegEntryMeaningRows, RuntimeRegEntryStatusNames);

WSetupRegEntry::WSetupRegEntry() : WSetupElement(KindRegEntry) {}

WSetupRegEntry::~WSetupRegEntry() {
    Forget(*this);
}

bool WSetupRegEntry::GetPreviousStored(DWORD& type, ByteList& bytes) const {
    const FoundValue* found = FoundFor(*this);
    if (!found)
        return false;
    type = found->type;
    bytes = found->bytes;
    return true;
}

void WSetupRegEntry::SetPreviousStored(DWORD type, const ByteList& bytes) {
    AllFoundValues()[this] = {PlaceOf(*this), PreviousValue.str(), type, bytes};
}

int WSetupRegEntry::Install() {
    Status = EntryKeyCloseFailed;
    if (!IsRegEntryRootName(RootName))
        return Status = EntryRootRefused;
    KeyPath = ExpandText(KeyPath);
    ValueName = ExpandText(ValueName);
    ValueData = ExpandText(ValueData);
    const RegEntryPlace place = RegEntryPlaceOf(KeyPath, ValueName);
    const std::string data = ValueData;
    if (place.path.empty())
        return Status = data.empty() ? EntryNothingNamed : EntryDataWithoutName;
    HKEY root = nullptr;
    if (!ParseRootKeyName(RootName, root))
        return Status = EntryRootRefused;
    if (place.name.empty())
        return Status = WriteKeyOrDefault(*this, root, place.key, data);

    const std::string& name = place.name;
    TargetKey key(root, place.key);
    const EntryType type = TypeOf(ValueType);
    TakePrevious(*this, key, name, type);
    switch (type) {
    case EntryType::Dword:
        return Status = WriteDwordValue(key, name, data);
    case EntryType::Binary:
        return Status = WriteBinaryValue(key, name, data, ValueType);
    case EntryType::String:
        break;
    }
    return Status = WriteStringValue(key, name, data);
}

int WSetupRegEntry::Uninstall() {
    ChangeMark = 0;
    if (!RemoveOnUninstall)
        return Status = EntryRemovalSkipped;
    if (!IsRegEntryRootName(RootName))
        return Status = EntryRemovalRootRefused;
    const RegEntryPlace place = RegEntryPlaceOf(KeyPath, ValueName);
    const std::string& keyPath = place.key;
    const std::string& path = place.path;
    const bool valueNamed = !place.name.empty();
    if (IsProtectedRegKey(RootName, path))
        return Status = EntryRemovalProtected;
    HKEY root = nullptr;
    if (!ParseRootKeyName(RootName, root))
        return Status = EntryRemovalRootRefused;

    if (RestoreOnUninstall) {
        if (PreviousValue.empty())
            return Status = EntryValueGone;
        // Written back exactly as it was read: no trimming, no backslashes removed. What this
        // entry found itself goes back as it was stored; the text alone is written as the
        // entry's type says.
        const std::string previous = PreviousValue;
        const FoundValue* found = FoundFor(*this);
        const std::string& foundKey = place.key;
        const std::string& foundName = place.name;
        bool written = false;
        if (!valueNamed) {
            written = EqualText(ValueType, "STRING", false) &&
                      (found ? WriteFoundValue(root, foundKey, foundName, *found)
                             : WriteRegKeyDefault(root, keyPath, previous));
        } else {
            switch (TypeOf(ValueType)) {
            case EntryType::Dword: {
                DWORD number = 0;
                written = ParseDword(previous, number) &&
                          (found ? WriteFoundValue(root, foundKey, foundName, *found)
                                 : WriteRegDwordAt(root, path, number));
                break;
            }
            case EntryType::Binary: {
                ByteList bytes;
                written = HexTextToBytes(previous, bytes) &&
                          (found ? WriteFoundValue(root, foundKey, foundName, *found)
                                 : WriteRegBinaryAt(root, path, bytes.data(),
                                                    static_cast<DWORD>(bytes.size())));
                break;
            }
            case EntryType::String:
                written = found ? WriteFoundValue(root, foundKey, foundName, *found)
                                : WriteRegStringAt(root, path, previous);
                break;
            }
        }
        return Status = written ? EntryPreviousRestored : EntryRestoreFailed;
    }
    if (valueNamed)
        return Status = DeleteValueAt(root, path) ? EntryValueGone : EntryValueNotDeleted;
    const bool withSubkeys = DeleteSubkeys != 0;
    if (DeleteKeyAt(root, keyPath, withSubkeys))
        return Status = withSubkeys ? EntryKeyTreeDeleted : EntryKeyDeleted;
    return Status = withSubkeys ? EntryKeyTreeNotDeleted : EntryKeyNotDeleted;
}

int WSetupRegEntry::Verify() {
    if (!IsRegEntryRootName(RootName))
        return Status = EntryCheckRootRefused;
    const bool noKey = NormalizeRegName(ExpandText(KeyPath)).empty() &&
                       NormalizeRegName(ExpandText(ValueName)).empty();
    if (noKey)
        return Status = ExpandText(ValueData).empty() ? EntryCheckNothingNamed
                                                      : EntryCheckDataWithoutName;
    return Status = EntryCheckReadable;
}

FwString WSetupRegEntry::GetFullRecord() {
    return WriteFullRecord(*this, WSetupRegEntryFields);
}

FwString WSetupRegEntry::GetShortRecord() {
    return WriteShortRecord(*this, WSetupRegEntryFields);
}

WSetupRuntimeRegEntry::WSetupRuntimeRegEntry() : WSetupElement(KindRuntimeRegEntry) {}

int WSetupRuntimeRegEntry::Install() {
    return Status = ElementDone;
}
int WSetupRuntimeRegEntry::Uninstall() {
    return Status = ElementNothingDone;
}
int WSetupRuntimeRegEntry::Verify() {
    return Status = ElementDone;
}

int WSetupRuntimeRegEntry::Remove(FwStringArray& failedKeys) {
    ChangeMark = 0;
    if (!IsRegEntryRootName(RootName))
        return Status = RuntimeRegRootRefused;
    const std::string path = NormalizeRegName(KeyPath);
    if (IsProtectedRegKey(RootName, path))
        return Status = RuntimeRegProtected;
    HKEY root = nullptr;
    if (!ParseRootKeyName(RootName, root))
        return Status = RuntimeRegRootRefused;
    if (EqualText(EntryKind, "VALUE", false))
        return Status = DeleteValueAt(root, path) ? RuntimeRegValueGone : RuntimeRegValueNotDeleted;
    const bool withSubkeys = DeleteSubkeys != 0;
    if (DeleteKeyAt(root, path, withSubkeys))
        return Status = withSubkeys ? RuntimeRegKeyTreeDeleted : RuntimeRegKeyDeleted;
    failedKeys.Add(GetRecord());
    return Status = withSubkeys ? RuntimeRegKeyTreeNotDeleted : RuntimeRegKeyNotDeleted;
}

FwString WSetupRuntimeRegEntry::GetFullRecord() {
    return WriteFullRecord(*this, WSetupRuntimeRegEntryFields);
}

FwString WSetupRuntimeRegEntry::GetShortRecord() {
    return WriteShortRecord(*this, WSetupRuntimeRegEntryFields);
}
