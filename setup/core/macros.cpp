// The macro context: holds the value of every path macro, the custom macro definitions and the
// %NAME% variables, and expands texts in a fixed order of replacement steps.
#include "setup/core/macros.h"

#include <cstring>
#include <map>

#include "setup/core/path.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"

namespace {

// Every "\" doubled to "\\" (the "2" forms of the macros).
std::string Doubled(const std::string& value) {
    return ReplaceAll(value, "\\", "\\\\", true);
}

// The drive letter (or \\server\share) of a value; an empty value has no drive.
std::string DriveOf(const std::string& value, bool withColon) {
    return value.empty() ? std::string() : PathRootText(value, withColon);
}

std::string BelowRoot(const std::string& value) {
    return value.empty() ? std::string() : PathBelowRoot(value);
}

bool HasOpenBracket(const std::string& text) {
    return text.find('<') != std::string::npos;
}

// The name between the first "%" and the next one; empty when there is no second "%".
std::string FirstVariableName(const std::string& text) {
    const std::string rest = TextAfter(text, "%");
    if (rest.find('%') == std::string::npos)
        return std::string();
    return TextBefore(rest, "%");
}

// What a macro's value is made of: one of the context's values, as it is, with every "\"
// doubled, its drive (with or without ":"), its path below the drive, or its run-from-source
// form (the source folder's value when the setup runs from its source).
enum class MacroForm : unsigned char {
    Plain,
    Doubled,
    Drive,
    DriveColon,
    BelowRoot,
    BelowRootDoubled,
    FromSource,
    FromSourceDoubled,
    NewLine, // "\n", from no value
};

struct MacroRule {
    const char* name;
    FwString SetupContext::*value;
    MacroForm form;
};

// The replacement steps in the order they are made. Each step replaces every occurrence of the
// macro (case-sensitive); inserted values are not rescanned by their own step, but later steps
// see them. A macro begins with "<", which is never the second byte of a double-byte character,
// so a plain byte search finds exactly what the replacement would; once no "<" is left, no step
// can change the text.
constexpr MacroRule MacroRules[] = {
    // Plain values.
    {"<BDE>", &SetupContext::MacroBDE, MacroForm::Plain},
    {"<S>", &SetupContext::MacroS, MacroForm::Plain},
    {"<D>", &SetupContext::MacroD, MacroForm::Plain},
    {"<SF>", &SetupContext::MacroSF, MacroForm::Plain},
    {"<W>", &SetupContext::MacroW, MacroForm::Plain},
    {"<Y>", &SetupContext::MacroY, MacroForm::Plain},
    {"<VRF>", &SetupContext::MacroVRF, MacroForm::Plain},
    {"<F>", &SetupContext::MacroF, MacroForm::Plain},
    {"<T>", &SetupContext::MacroT, MacroForm::Plain},
    // Drives and paths below the drive.
    {"<DL>", &SetupContext::MacroD, MacroForm::Drive},
    {"<SFDL>", &SetupContext::MacroSF, MacroForm::Drive},
    {"<SDL>", &SetupContext::MacroS, MacroForm::Drive},
    {"<DL:>", &SetupContext::MacroD, MacroForm::DriveColon},
    {"<SFDL:>", &SetupContext::MacroSF, MacroForm::DriveColon},
    {"<SDL:>", &SetupContext::MacroS, MacroForm::DriveColon},
    {"<ND>", &SetupContext::MacroD, MacroForm::BelowRoot},
    {"<ND2>", &SetupContext::MacroD, MacroForm::BelowRootDoubled},
    {"<SND>", &SetupContext::MacroS, MacroForm::BelowRoot},
    {"<SND2>", &SetupContext::MacroS, MacroForm::BelowRootDoubled},
    {"<WDL:>", &SetupContext::MacroW, MacroForm::DriveColon},
    {"<WDL>", &SetupContext::MacroW, MacroForm::Drive},
    // Run-from-source forms.
    {"<DR>", &SetupContext::MacroD, MacroForm::FromSource},
    {"<SFR>", &SetupContext::MacroSF, MacroForm::FromSource},
    {"<WR>", &SetupContext::MacroW, MacroForm::FromSource},
    {"<YR>", &SetupContext::MacroY, MacroForm::FromSource},
    {"<VRF_R>", &SetupContext::MacroVRF, MacroForm::FromSource},
    {"<FR>", &SetupContext::MacroF, MacroForm::FromSource},
    {"<TR>", &SetupContext::MacroT, MacroForm::FromSource},
    // Doubled backslashes.
    {"<BDE2>", &SetupContext::MacroBDE, MacroForm::Doubled},
    {"<S2>", &SetupContext::MacroS, MacroForm::Doubled},
    {"<D2>", &SetupContext::MacroD, MacroForm::Doubled},
    {"<SF2>", &SetupContext::MacroSF, MacroForm::Doubled},
    {"<W2>", &SetupContext::MacroW, MacroForm::Doubled},
    {"<Y2>", &SetupContext::MacroY, MacroForm::Doubled},
    {"<VRF_2>", &SetupContext::MacroVRF, MacroForm::Doubled},
    {"<F2>", &SetupContext::MacroF, MacroForm::Doubled},
    {"<T2>", &SetupContext::MacroT, MacroForm::Doubled},
    {"<DR2>", &SetupContext::MacroD, MacroForm::FromSourceDoubled},
    {"<SFR2>", &SetupContext::MacroSF, MacroForm::FromSourceDoubled},
    {"<WR2>", &SetupContext::MacroW, MacroForm::FromSourceDoubled},
    {"<YR2>", &SetupContext::MacroY, MacroForm::FromSourceDoubled},
    {"<VRF_R2>", &SetupContext::MacroVRF, MacroForm::FromSourceDoubled},
    {"<FR2>", &SetupContext::MacroF, MacroForm::FromSourceDoubled},
    {"<TR2>", &SetupContext::MacroT, MacroForm::FromSourceDoubled},
    // Names and settings.
    {"<N>", &SetupContext::MacroN, MacroForm::Plain},
    {"<C>", &SetupContext::MacroC, MacroForm::Plain},
    {"<E>", &SetupContext::MacroE, MacroForm::Plain},
    {"<G>", &SetupContext::MacroG, MacroForm::Plain},
    {"<K>", &SetupContext::MacroK, MacroForm::Plain},
    {"<O>", &SetupContext::MacroO, MacroForm::Plain},
    {"<R>", &SetupContext::MacroR, MacroForm::Plain},
    {"<U>", &SetupContext::MacroU, MacroForm::Plain},
    {"<P>", &SetupContext::MacroP, MacroForm::Plain},
    {"<P_2>", &SetupContext::MacroP, MacroForm::Doubled},
    {"<L>", &SetupContext::MacroL, MacroForm::Plain},
    {"<LOGONID>", &SetupContext::MacroLogonId, MacroForm::Plain},
    {"<LANG>", &SetupContext::MacroLang, MacroForm::Plain},
    {"<SUBLANG>", &SetupContext::MacroSubLang, MacroForm::Plain},
    {"<SYSLANG>", &SetupContext::MacroSysLang, MacroForm::Plain},
    {"<SYSSUBLANG>", &SetupContext::MacroSysSubLang, MacroForm::Plain},
    {"<WT_DEFAULT>", &SetupContext::MacroWtDefault, MacroForm::Plain},
    {"<PRODUCT>", &SetupContext::MacroProduct, MacroForm::Plain},
    {"<NEWLINE>", nullptr, MacroForm::NewLine},
    {"<BOXNAME>", &SetupContext::MacroBoxName, MacroForm::Plain},
};

// `value` in the form `form` takes.
std::string InForm(const SetupContext& context, const std::string& value, MacroForm form) {
    switch (form) {
    case MacroForm::Plain:
        return value;
    case MacroForm::Doubled:
        return Doubled(value);
    case MacroForm::Drive:
        return DriveOf(value, false);
    case MacroForm::DriveColon:
        return DriveOf(value, true);
    case MacroForm::BelowRoot:
        return BelowRoot(value);
    case MacroForm::BelowRootDoubled:
        return Doubled(BelowRoot(value));
    case MacroForm::FromSource:
        return context.RunFromSource ? context.MacroS.str() : value;
    case MacroForm::FromSourceDoubled:
        return Doubled(context.RunFromSource ? context.MacroS.str() : value);
    case MacroForm::NewLine:
        return "\n";
    }
    return value;
}

std::string MacroValue(const SetupContext& context, const MacroRule& rule) {
    return InForm(context, rule.value ? (context.*rule.value).str() : std::string(), rule.form);
}

// The custom macros: each definition "<CUSTKEY, value" serves <CUSTKEYD>, <CUSTKEYD2>,
// <CUSTKEYDR>, <CUSTKEYDR2>, <CUSTKEYDL>, <CUSTKEYDL:>, <CUSTKEYND> and <CUSTKEYND2>, in that
// order, one definition after the other.
struct CustomMacroRule {
    const char* suffix;
    MacroForm form;
};

constexpr CustomMacroRule CustomMacroRules[] = {
    {"D>", MacroForm::Plain},       {"D2>", MacroForm::Doubled},
    {"DR>", MacroForm::FromSource}, {"DR2>", MacroForm::FromSourceDoubled},
    {"DL>", MacroForm::Drive},      {"DL:>", MacroForm::DriveColon},
    {"ND>", MacroForm::BelowRoot},  {"ND2>", MacroForm::BelowRootDoubled},
};

void ExpandCustomMacros(const SetupContext& context, std::string& text) {
    for (int i = 0; i < context.CustomMacros.GetSize(); ++i) {
        const char* entry = static_cast<const char*>(context.CustomMacros.GetAt(i));
        if (!entry)
            continue;
        const std::string definition = entry;
        const std::string key = Trimmed(TextBefore(definition, ","));
        // A definition without a key would otherwise replace every "D>" of the text.
        if (key.empty() || text.find(key) == std::string::npos)
            continue;
        const std::string value = Trimmed(TextAfter(definition, ","));
        for (const CustomMacroRule& rule : CustomMacroRules) {
            const std::string macro = key + rule.suffix;
            if (text.find(macro) != std::string::npos)
                text = ReplaceAll(text, macro, InForm(context, value, rule.form), true);
        }
    }
}

} // namespace

SetupContext::SetupContext() : Variables(100), RunFromSource(0), Enabled(0) {}

SetupContext::~SetupContext() {
    ClearCustomMacros();
}

void SetupContext::ClearCustomMacros() {
    for (int i = 0; i < CustomMacros.GetSize(); ++i)
        delete[] static_cast<char*>(CustomMacros.GetAt(i));
    CustomMacros.RemoveAll();
}

void SetupContext::AddCustomMacro(const std::string& definition) {
    std::size_t size = definition.size() + 1;
    if (size < static_cast<std::size_t>(CustomMacroBufferSize))
        size = CustomMacroBufferSize;
    char* buffer = new char[size]();
    std::memcpy(buffer, definition.c_str(), definition.size() + 1);
    CustomMacros.Add(buffer);
}

std::string SetupContext::Expand(const std::string& input) const {
    if (!Enabled || !HasOpenBracket(input))
        return input;
    std::string text = input;
    for (const MacroRule& rule : MacroRules) {
        if (!HasOpenBracket(text))
            return text;
        if (text.find(rule.name) != std::string::npos)
            text = ReplaceAll(text, rule.name, MacroValue(*this, rule), true);
    }
    // Custom macros come last, and only a text that names one pays for the search.
    if (text.find("<CUST") != std::string::npos)
        ExpandCustomMacros(*this, text);
    return text;
}

std::string SetupContext::LookupVariable(const std::string& name) const {
    FwString value;
    if (!Variables.Lookup(name.c_str(), value))
        return std::string();
    return value.str();
}

std::string SetupContext::ExpandVariables(const std::string& input) const {
    if (input.find('%') == std::string::npos)
        return input;
    std::string text = input;
    std::string name = FirstVariableName(text);
    std::string previous;
    // A variable whose value leads back to itself (A = "%B%", B = "%A%") would otherwise be
    // expanded for ever: each name is taken at most once more than the table has entries.
    std::map<std::string, int> passes;
    const int limit = Variables.GetCount() + 1;
    while (!name.empty() && name != previous) {
        if (++passes[name] > limit)
            break;
        const std::string value = LookupVariable(name);
        if (!value.empty())
            text = ReplaceAll(text, "%" + name + "%", value, true);
        previous = name;
        name = FirstVariableName(text);
    }
    return text;
}

std::string SetupContext::ResolvePath(const std::string& folder, const std::string& name) const {
    return JoinPath(Expand(folder.empty() ? std::string("<D>") : folder), name, true);
}

std::string SetupContext::ResolveGroupPath(const std::string& folder) const {
    if (!folder.empty())
        return Expand(folder);
    return JoinPath(TheSystemFolders().Programs(false), Expand("<G>"), true);
}

std::string ExpandText(const std::string& text) {
    return TheSetupContext().Expand(text);
}
