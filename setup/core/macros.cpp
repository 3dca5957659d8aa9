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

// One replacement step: every occurrence of the macro (case-sensitive) replaced by the value,
// the inserted values not rescanned. The occurrence test first spares the copy of a long text
// for the many macros that a text does not hold: a macro begins with "<", which is never the
// second byte of a double-byte character, so a plain byte search finds exactly what the
// replacement would.
void Replace(std::string& text, const char* macro, const std::string& value) {
    if (text.find(macro) == std::string::npos)
        return;
    text = ReplaceAll(text, macro, value, true);
}

} // namespace

SetupContext::SetupContext() : Variables(100), RunFromSource(0), Enabled(0) {}

SetupContext::~SetupContext() {
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

    const std::string s = MacroS.str();
    const std::string d = MacroD.str();
    const std::string sf = MacroSF.str();
    const std::string w = MacroW.str();
    const std::string y = MacroY.str();
    const std::string vrf = MacroVRF.str();
    const std::string f = MacroF.str();
    const std::string t = MacroT.str();
    const std::string bde = MacroBDE.str();
    // The "R" forms name the source folder when the setup runs from its source.
    auto fromSource = [&](const std::string& own) -> const std::string& {
        return RunFromSource ? s : own;
    };

    // Plain values.
    Replace(text, "<BDE>", bde);
    Replace(text, "<S>", s);
    Replace(text, "<D>", d);
    Replace(text, "<SF>", sf);
    Replace(text, "<W>", w);
    Replace(text, "<Y>", y);
    Replace(text, "<VRF>", vrf);
    Replace(text, "<F>", f);
    Replace(text, "<T>", t);

    // Drives and paths below the drive.
    if (HasOpenBracket(text)) {
        Replace(text, "<DL>", DriveOf(d, false));
        Replace(text, "<SFDL>", DriveOf(sf, false));
        Replace(text, "<SDL>", DriveOf(s, false));
        Replace(text, "<DL:>", DriveOf(d, true));
        Replace(text, "<SFDL:>", DriveOf(sf, true));
        Replace(text, "<SDL:>", DriveOf(s, true));
        Replace(text, "<ND>", BelowRoot(d));
        Replace(text, "<ND2>", Doubled(BelowRoot(d)));
        Replace(text, "<SND>", BelowRoot(s));
        Replace(text, "<SND2>", Doubled(BelowRoot(s)));
        Replace(text, "<WDL:>", DriveOf(w, true));
        Replace(text, "<WDL>", DriveOf(w, false));
    }

    // Run-from-source forms.
    if (HasOpenBracket(text)) {
        Replace(text, "<DR>", fromSource(d));
        Replace(text, "<SFR>", fromSource(sf));
        Replace(text, "<WR>", fromSource(w));
        Replace(text, "<YR>", fromSource(y));
        Replace(text, "<VRF_R>", fromSource(vrf));
        Replace(text, "<FR>", fromSource(f));
        Replace(text, "<TR>", fromSource(t));
    }

    // Doubled backslashes.
    if (HasOpenBracket(text)) {
        Replace(text, "<BDE2>", Doubled(bde));
        Replace(text, "<S2>", Doubled(s));
        Replace(text, "<D2>", Doubled(d));
        Replace(text, "<SF2>", Doubled(sf));
        Replace(text, "<W2>", Doubled(w));
        Replace(text, "<Y2>", Doubled(y));
        Replace(text, "<VRF_2>", Doubled(vrf));
        Replace(text, "<F2>", Doubled(f));
        Replace(text, "<T2>", Doubled(t));
    }

    if (HasOpenBracket(text)) {
        Replace(text, "<DR2>", Doubled(fromSource(d)));
        Replace(text, "<SFR2>", Doubled(fromSource(sf)));
        Replace(text, "<WR2>", Doubled(fromSource(w)));
        Replace(text, "<YR2>", Doubled(fromSource(y)));
        Replace(text, "<VRF_R2>", Doubled(fromSource(vrf)));
        Replace(text, "<FR2>", Doubled(fromSource(f)));
        Replace(text, "<TR2>", Doubled(fromSource(t)));

        // Names and settings.
        if (HasOpenBracket(text)) {
            Replace(text, "<N>", MacroN.str());
            Replace(text, "<C>", MacroC.str());
            Replace(text, "<E>", MacroE.str());
            Replace(text, "<G>", MacroG.str());
            Replace(text, "<K>", MacroK.str());
            Replace(text, "<O>", MacroO.str());
            Replace(text, "<R>", MacroR.str());
            Replace(text, "<U>", MacroU.str());
            Replace(text, "<P>", MacroP.str());
            Replace(text, "<P_2>", Doubled(MacroP.str()));
            Replace(text, "<L>", MacroL.str());
            Replace(text, "<LOGONID>", MacroLogonId.str());
            Replace(text, "<LANG>", MacroLang.str());
            Replace(text, "<SUBLANG>", MacroSubLang.str());
            Replace(text, "<SYSLANG>", MacroSysLang.str());
            Replace(text, "<SYSSUBLANG>", MacroSysSubLang.str());
            Replace(text, "<WT_DEFAULT>", MacroWtDefault.str());
            Replace(text, "<PRODUCT>", MacroProduct.str());
            Replace(text, "<NEWLINE>", "\n");
            Replace(text, "<BOXNAME>", MacroBoxName.str());
        }

        // Custom macros: each definition "<CUSTKEY, value" serves <CUSTKEYD>, <CUSTKEYD2>,
        // <CUSTKEYDR>, <CUSTKEYDR2>, <CUSTKEYDL>, <CUSTKEYDL:>, <CUSTKEYND> and <CUSTKEYND2>.
        if (text.find("<CUST") != std::string::npos) {
            for (int i = 0; i < CustomMacros.GetSize(); ++i) {
                const char* entry = static_cast<const char*>(CustomMacros.GetAt(i));
                if (!entry)
                    continue;
                const std::string definition = entry;
                const std::string key = Trimmed(TextBefore(definition, ","));
                // A definition without a key would otherwise replace every "D>" of the text.
                if (key.empty() || text.find(key) == std::string::npos)
                    continue;
                const std::string value = Trimmed(TextAfter(definition, ","));
                const std::string& run = fromSource(value);
                Replace(text, (key + "D>").c_str(), value);
                Replace(text, (key + "D2>").c_str(), Doubled(value));
                Replace(text, (key + "DR>").c_str(), run);
                Replace(text, (key + "DR2>").c_str(), Doubled(run));
                Replace(text, (key + "DL>").c_str(), DriveOf(value, false));
                Replace(text, (key + "DL:>").c_str(), DriveOf(value, true));
                Replace(text, (key + "ND>").c_str(), BelowRoot(value));
                Replace(text, (key + "ND2>").c_str(), Doubled(BelowRoot(value)));
            }
        }
    }
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
