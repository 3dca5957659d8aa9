// Product engine: a stand-in for the setup engine that installs a whole product with the setup
// library's element kinds, and removes it again from what the installation recorded.
//
// Command line (the loader hands on its own command line after a blank, so words it does not
// know, such as "setup=..." or "/batch", are ignored; a value may be quoted):
//   description=<path>  the product description (default: product.txt beside the program)
//   mode=install        check the description whole, install every selected component, write
//                       the uninstall log (default)
//   mode=check          rebuild the elements from the log and check each one (Verify)
//   mode=remove         rebuild the elements from the log alone and undo them in reverse order
//   mode=validate       check the description only; install nothing
//   log=<path>          the uninstall log (default: the description's Log setting, for check
//                       and remove the same path, which needs the description only to find it)
//   output=<path>       where the progress lines go (default: standard output)
//
// Progress lines:
//   install <n> of <m>: <component> <class> <id> status <s> [<note>]
//   undo <n> of <m>: ...      check <n> of <m>: ...
//   restart <path>            a file whose replacement or deletion waits for the restart
//   summary <phase>: <k> elements; by kind: <class> <count> ...; restart <r>; failed <f>
//
// Exit codes: 0 done; 2 the description was refused (nothing was installed) or the log could not
// be read; 3 at least one element failed; 4 the uninstall log could not be written.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../command_words.h"
#include "description.h"
#include "kinds.h"
#include "setup/assembly/class_table.h"
#include "setup/elements/element_kinds.h"
#include "setup/core/component.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"
#include "setup/elements/file.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitRefused = 2;
constexpr int ExitElementFailed = 3;
constexpr int ExitLogFailed = 4;

FILE* g_out = stdout;

void Say(const std::string& line) {
    std::fprintf(g_out, "%s\n", line.c_str());
    std::fflush(g_out);
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return ParentOf(std::string(path, n));
}

// The engine's settings of the macro context, by name, as they are also written to the log.
struct ContextSetting {
    const char* name;
    FwString SetupContext::*field;
};
const ContextSetting ContextSettings[] = {
    {"S", &SetupContext::MacroS}, {"D", &SetupContext::MacroD},
    {"W", &SetupContext::MacroW}, {"Y", &SetupContext::MacroY},
    {"F", &SetupContext::MacroF}, {"T", &SetupContext::MacroT},
    {"P", &SetupContext::MacroP}, {"SF", &SetupContext::MacroSF},
    {"G", &SetupContext::MacroG}, {"PRODUCT", &SetupContext::MacroProduct},
};

// Fills the process-wide macro context from the machine and the description.
void FillContext(const ProductDescription& description) {
    SetupContext& context = TheSetupContext();
    SystemFolders& folders = TheSystemFolders();
    context.MacroS = ParentOf(description.path).c_str();
    context.MacroW = folders.Windows().c_str();
    context.MacroY = folders.System().c_str();
    context.MacroF = folders.Fonts().c_str();
    context.MacroT = folders.Temp().c_str();
    context.MacroP = folders.ProgramFiles().c_str();
    context.MacroSF = JoinPath(folders.ProgramFiles(), "Common Files", true).c_str();
    context.MacroG = description.group.c_str();
    context.MacroProduct = description.name.c_str();
    for (const DescribedValue& v : description.variables)
        context.Variables.SetAt(v.name.c_str(), FwString(v.value.c_str()));
    for (const DescribedValue& m : description.customMacros)
        context.AddCustomMacro(m.name + "," + m.value);
    context.Enabled = 1;
    // The destination may be written with the folder macros and variables.
    context.MacroD = context.Expand(context.ExpandVariables(description.destination)).c_str();
}

std::string Expanded(const std::string& text) {
    SetupContext& context = TheSetupContext();
    return context.Expand(context.ExpandVariables(text));
}

struct Product {
    std::vector<FwPtr<WSetupComponent>> components;
    std::map<std::string, WSetupComponent*> componentById;
    std::vector<WSetupElement*> elements; // owned by `owned`
    std::vector<FwPtr<WSetupElement>> owned;
    std::map<WSetupElement*, std::string> componentOf;

    ~Product() {
        for (auto& c : components)
            c->ReleaseElements();
    }
};

WSetupElement* CreateElement(const std::string& className) {
    const FwRuntimeClass* cls = FwRuntimeClass::FromName(className.c_str());
    if (!cls)
        return nullptr;
    FwObject* object = cls->CreateObject();
    if (!object)
        return nullptr;
    if (!object->IsKindOf(&WSetupElement::classWSetupElement)) {
        FwDelete(object);
        return nullptr;
    }
    return static_cast<WSetupElement*>(object);
}

// Checks the description against the kinds and the medium and builds its objects; nothing is
// installed yet. Every problem is reported; false when there was any.
bool BuildProduct(const ProductDescription& description, Product& product,
                  std::vector<std::string>& problems) {
    auto problem = [&](int line, const std::string& reason) {
        problems.push_back(description.path + "(" + std::to_string(line) + "): " + reason);
    };
    for (const DescribedItem& item : description.components) {
        FwPtr<WSetupComponent> component(new WSetupComponent);
        component->Id = item.id.c_str();
        component->ModeIndex = 2;
        component->ModeStates[2] = 2;
        for (const DescribedValue& v : item.values) {
            if (v.name == "Selected") {
                if (v.value != "0" && v.value != "1")
                    problem(v.line, "Selected takes 0 or 1, not \"" + v.value + "\"");
                component->ModeStates[2] = v.value == "1" ? 2 : 0;
            } else {
                problem(v.line, "unknown component setting \"" + v.name + "\"");
            }
        }
        product.componentById[item.id] = component.get();
        product.components.push_back(std::move(component));
    }
    for (const DescribedItem& item : description.elements) {
        const ElementKindInfo* kind = FindElementKind(item.className);
        if (!kind) {
            problem(item.line, "unknown element class \"" + item.className + "\"");
            continue;
        }
        FwPtr<WSetupElement> element(CreateElement(item.className));
        if (!element || element->Kind != kind->kind) {
            problem(item.line, "class \"" + item.className + "\" cannot be created by name");
            continue;
        }
        element->Id = item.id.c_str();
        std::string componentId;
        for (const DescribedValue& v : item.values) {
            if (v.name == "Component") {
                componentId = v.value;
                continue;
            }
            if (v.name == "Id" || v.name == "Kind" || v.name == "Status") {
                problem(v.line, "field " + v.name + " is the engine's to set");
                continue;
            }
            const ElementField* field = FindElementField(*kind->fields, v.name);
            if (!field) {
                problem(v.line, "unknown field \"" + v.name + "\" of " + item.className);
                continue;
            }
            std::string reason;
            if (!SetField(element.get(), *field, v.value, reason))
                problem(v.line, reason);
        }
        if (componentId.empty())
            problem(item.line, item.className + " " + item.id + " names no Component");
        else if (!product.componentById.count(componentId))
            problem(item.line, "unknown component \"" + componentId + "\"");

        // The record keeps at most one column with ",": anything else could not be rebuilt
        // from the uninstall log.
        if (const ElementField* breaking = FieldBreakingRecord(element.get(), *kind->fields))
            problem(item.line, "its record could not be read back (field " +
                                   std::string(breaking->name) +
                                   "): a \",\" in a value other than the kind's free text");

        // What is copied from the medium must be there.
        if (kind->kind == KindFile || kind->kind == KindTTFFile) {
            auto* file = static_cast<WSetupFile*>(element.get());
            std::string name =
                file->MediaName.empty() ? file->SourceName.c_str() : file->MediaName.c_str();
            std::string source = JoinPath(Expanded(file->SourceDir.c_str()), name, true);
            if (name.empty() || !FileExists(source))
                problem(item.line, "source file \"" + source + "\" is missing");
        }
        product.componentOf[element.get()] = componentId;
        product.elements.push_back(element.get());
        product.owned.push_back(std::move(element));
    }
    for (WSetupElement* element : product.elements) {
        auto it = product.componentById.find(product.componentOf[element]);
        if (it != product.componentById.end())
            it->second->AddElement(element);
    }
    return problems.empty();
}

std::string ItemLine(const char* phase, int n, int m, WSetupElement* element,
                     const std::string& component, int status, const std::string& note) {
    std::string line = std::string(phase) + " " + std::to_string(n) + " of " + std::to_string(m) +
                       ": " + component + " " + element->GetRuntimeClass()->ClassName + " " +
                       element->Id.c_str() + " status " + std::to_string(status);
    if (!note.empty())
        line += " (" + note + ")";
    return line;
}

// The elements in the order the engine runs them: kinds in install order, each kind's elements
// in the order of their components and of the description.
std::vector<WSetupElement*> Ordered(const Product& product, bool selectedOnly) {
    std::vector<WSetupElement*> order;
    for (int kind : InstallOrder())
        for (const auto& component : product.components) {
            if (selectedOnly && !component->IsSelected())
                continue;
            for (int i = 0; i < component->Elements[kind].GetSize(); ++i)
                order.push_back(component->ElementAt(kind, i));
        }
    return order;
}

void Summary(const char* phase, const std::vector<WSetupElement*>& elements, int restart,
             int failed) {
    std::map<std::string, int> byKind;
    for (WSetupElement* e : elements)
        ++byKind[e->GetRuntimeClass()->ClassName];
    std::string line = std::string("summary ") + phase + ": " + std::to_string(elements.size()) +
                       " elements; by kind:";
    for (const auto& k : byKind)
        line += " " + k.first + " " + std::to_string(k.second);
    line += "; restart " + std::to_string(restart) + "; failed " + std::to_string(failed);
    Say(line);
}

bool WriteLog(const std::string& path, const Product& product,
              const std::vector<WSetupElement*>& installed) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    const SetupContext& context = TheSetupContext();
    out << "# uninstall log: the engine's settings, then the records of what was installed\r\n";
    for (const ContextSetting& s : ContextSettings)
        out << "context " << s.name << "=" << (context.*s.field).c_str() << "\r\n";
    FwPosition pos = context.Variables.GetStartPosition();
    while (pos) {
        FwString key, value;
        context.Variables.GetNextAssoc(pos, key, value);
        out << "variable " << key.c_str() << "=" << value.c_str() << "\r\n";
    }
    for (int i = 0; i < context.CustomMacros.GetSize(); ++i)
        out << "macro " << static_cast<const char*>(context.CustomMacros.GetAt(i)) << "\r\n";
    for (const auto& component : product.components)
        if (component->IsSelected())
            out << "component " << component->GetRecord001().c_str() << "\r\n";
    for (WSetupElement* e : installed)
        out << "element " << e->GetRuntimeClass()->ClassName << " " << product.componentOf.at(e)
            << " " << e->GetFullRecord().c_str() << "\r\n";
    out.flush();
    return static_cast<bool>(out);
}

// Rebuilds the context and the elements from an uninstall log.
bool ReadLog(const std::string& path, Product& product, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    SetupContext& context = TheSetupContext();
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::string word = TextBefore(line, " ");
        std::string rest = TextAfter(line, " ");
        auto fail = [&](const std::string& reason) {
            error = path + "(" + std::to_string(number) + "): " + reason;
            return false;
        };
        if (word == "context") {
            std::string name = TextBefore(rest, "=");
            bool known = false;
            for (const ContextSetting& s : ContextSettings)
                if (name == s.name) {
                    context.*s.field = TextAfter(rest, "=").c_str();
                    known = true;
                }
            if (!known)
                return fail("unknown setting " + name);
        } else if (word == "variable") {
            context.Variables.SetAt(TextBefore(rest, "=").c_str(),
                                    FwString(TextAfter(rest, "=").c_str()));
        } else if (word == "macro") {
            context.AddCustomMacro(rest);
        } else if (word == "component") {
            FwPtr<WSetupComponent> component(new WSetupComponent);
            component->Id = TextBefore(rest, ",").c_str();
            product.componentById[component->Id.c_str()] = component.get();
            product.components.push_back(std::move(component));
        } else if (word == "element") {
            std::string className = TextBefore(rest, " ");
            rest = TextAfter(rest, " ");
            std::string componentId = TextBefore(rest, " ");
            std::string record = TextAfter(rest, " ");
            const ElementKindInfo* kind = FindElementKind(className);
            FwPtr<WSetupElement> element(kind ? CreateElement(className) : nullptr);
            if (!element)
                return fail("unknown element class " + className);
            std::string reason;
            if (!SetFromRecord(element.get(), *kind->fields, record, reason))
                return fail(reason);
            auto it = product.componentById.find(componentId);
            if (it == product.componentById.end())
                return fail("unknown component " + componentId);
            it->second->AddElement(element.get());
            product.componentOf[element.get()] = componentId;
            product.elements.push_back(element.get());
            product.owned.push_back(std::move(element));
        } else {
            return fail("unknown line");
        }
    }
    context.Enabled = 1;
    return true;
}

int Install(const ProductDescription& description, const std::string& logPath) {
    Product product;
    std::vector<std::string> problems;
    if (!BuildProduct(description, product, problems)) {
        for (const std::string& p : problems)
            Say("refused " + p);
        Say("summary refused: " + std::to_string(problems.size()) +
            (problems.size() == 1 ? " problem" : " problems") + "; nothing was installed");
        return ExitRefused;
    }
    // COM stays initialised for the whole installation, as on an engine's interface thread:
    // the kinds' own initialisations then only count, instead of building and tearing down the
    // apartment (under Wine a thread and a window) for every shortcut.
    const ComScope com;
    std::vector<WSetupElement*> order = Ordered(product, true);
    FwStringArray rebootList;
    FwPtrArray collected;
    int failed = 0;
    int n = 0;
    for (WSetupElement* element : order) {
        int before = rebootList.GetSize();
        StepResult r = InstallElement(element, rebootList, collected);
        if (MeaningOfStatus(element->Kind, ElementStep::Install, r.status) == StepMeaning::Failed)
            ++failed;
        Say(ItemLine("install", ++n, static_cast<int>(order.size()), element,
                     product.componentOf[element], r.status, r.note));
        for (int i = before; i < rebootList.GetSize(); ++i)
            Say(std::string("restart ") + rebootList.GetAt(i).c_str());
    }
    bool logged = CreateDirectoryTree(ParentOf(logPath)) || IsExistingDirectory(ParentOf(logPath));
    logged = logged && WriteLog(logPath, product, order);
    Say(std::string("log ") + logPath + (logged ? "" : " could not be written"));
    Summary("install", order, rebootList.GetSize(), failed);
    if (!logged)
        return ExitLogFailed;
    return failed ? ExitElementFailed : ExitOk;
}

int Check(const std::string& logPath) {
    Product product;
    std::string error;
    if (!ReadLog(logPath, product, error)) {
        Say("refused " + error);
        return ExitRefused;
    }
    std::vector<WSetupElement*> order = Ordered(product, false);
    int failed = 0;
    int n = 0;
    for (WSetupElement* element : order) {
        int status = VerifyElement(element);
        if (MeaningOfStatus(element->Kind, ElementStep::Check, status) == StepMeaning::Failed)
            ++failed;
        Say(ItemLine("check", ++n, static_cast<int>(order.size()), element,
                     product.componentOf[element], status, ""));
    }
    Summary("check", order, 0, failed);
    return failed ? ExitElementFailed : ExitOk;
}

const char* const SharedDllsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Whether a shared file is to be uninstalled is the engine's decision: while another product
// still counts it, the engine only lowers the count and leaves the file in place. Answers true
// when it did so.
bool KeptForOthers(WSetupElement* element) {
    if (element->Kind != KindFile && element->Kind != KindTTFFile)
        return false;
    auto* file = static_cast<WSetupFile*>(element);
    if (!(file->FileFlags & SharedFileFlags) || !file->RemoveOnUninstall)
        return false;
    SetupContext& context = TheSetupContext();
    std::string path =
        context.ResolvePath(context.ExpandVariables(file->DestDir.c_str()), file->DestName.c_str());
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SharedDllsKey, 0, KEY_ALL_ACCESS, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    DWORD count = 0;
    if (!ReadRegDword(key.Get(), path, count) || count <= 1)
        return false;
    return WriteRegDword(key.Get(), path, count - 1);
}

int Remove(const std::string& logPath) {
    Product product;
    std::string error;
    if (!ReadLog(logPath, product, error)) {
        Say("refused " + error);
        return ExitRefused;
    }
    // The log is the engine's own file in the product's folder: it goes first, so that the
    // folder can be removed; what cannot be undone is written back to it afterwards.
    DeleteFileA(logPath.c_str());
    std::vector<WSetupElement*> order = Ordered(product, false);
    FwStringArray rebootList;
    std::vector<WSetupElement*> left;
    int n = 0;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        WSetupElement* element = *it;
        int before = rebootList.GetSize();
        if (KeptForOthers(element)) {
            Say(ItemLine("undo", ++n, static_cast<int>(order.size()), element,
                         product.componentOf[element], 0, "kept: another product counts it"));
            continue;
        }
        StepResult r = UndoElement(element, rebootList);
        if (MeaningOfStatus(element->Kind, ElementStep::Undo, r.status) == StepMeaning::Failed)
            left.insert(left.begin(), element);
        Say(ItemLine("undo", ++n, static_cast<int>(order.size()), element,
                     product.componentOf[element], r.status, r.note));
        for (int i = before; i < rebootList.GetSize(); ++i)
            Say(std::string("restart ") + rebootList.GetAt(i).c_str());
    }
    if (!left.empty()) {
        CreateDirectoryTree(ParentOf(logPath));
        if (!WriteLog(logPath, product, left))
            Say("log " + logPath + " could not be written back");
        else
            Say("log " + logPath + " keeps " + std::to_string(left.size()) + " elements");
    }
    Summary("remove", order, rebootList.GetSize(), static_cast<int>(left.size()));
    return left.empty() ? ExitOk : ExitElementFailed;
}

} // namespace

int main() {
    UseSetupClassTable();
    std::string descriptionPath = JoinPath(ProgramFolder(), "product.txt", true);
    std::string mode = "install";
    std::string logPath;
    std::string outputPath;
    for (const std::string& word : CommandWords(GetCommandLineA())) {
        std::string key = TextBefore(word, "=");
        std::string value = TextAfter(word, "=");
        if (word.find('=') == std::string::npos)
            continue;
        if (key == "description")
            descriptionPath = value;
        else if (key == "mode")
            mode = value;
        else if (key == "log")
            logPath = value;
        else if (key == "output")
            outputPath = value;
    }
    if (!outputPath.empty() && !(g_out = std::fopen(outputPath.c_str(), "w"))) {
        std::fprintf(stderr, "product engine: cannot write %s\n", outputPath.c_str());
        return ExitRefused;
    }
    Say(std::string("engine ") + GetCommandLineA());

    // Checking and removal rebuild everything from the log alone.
    if (mode == "check" || mode == "remove") {
        if (logPath.empty()) {
            Say("refused " + mode + " needs log=<path>");
            return ExitRefused;
        }
        return mode == "check" ? Check(logPath) : Remove(logPath);
    }
    if (mode != "install" && mode != "validate") {
        Say("refused unknown mode " + mode);
        return ExitRefused;
    }
    ProductDescription description;
    std::string error;
    if (!ReadDescription(descriptionPath, description, error)) {
        Say("refused " + error);
        Say("summary refused: 1 problem; nothing was installed");
        return ExitRefused;
    }
    FillContext(description);
    if (logPath.empty())
        logPath = Expanded(description.log);
    if (mode == "install")
        return Install(description, logPath);
    Product product;
    std::vector<std::string> problems;
    bool ok = BuildProduct(description, product, problems);
    for (const std::string& p : problems)
        Say("refused " + p);
    Say(ok ? "summary validate: accepted" : "summary refused: nothing was installed");
    return ok ? ExitOk : ExitRefused;
}
