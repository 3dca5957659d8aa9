// The setup engine: installs a whole product with the setup library's element kinds as one
// transaction, checks it, and removes it again from what the installation recorded.
//
// Command line (the loader hands on its own command line after a blank, so words it does not
// know, such as "setup=..." or "/batch", are ignored; a value may be quoted):
//   description=<path>  the product description (default: product.txt beside the program)
//   mode=install        check the description whole, then install every selected component as
//                       one transaction (default)
//   mode=check          rebuild the elements from the log and check each one installed (Verify)
//   mode=remove         undo, in reverse order, what the log says the installation did
//   mode=recover        roll back an installation that did not finish
//   mode=validate       check the description only; install nothing. It also lists what a
//                       medium must hold: "medium <line> <path below <S>>" for every file copied
//                       from it ("outside <line> <path>" for a source elsewhere) and
//                       "disclaimer <line> <file>" for the description's Disclaimer, after
//                       "product <name>"
//   source=<folder>     the <S> folder (default: the description's folder), where the files
//                       copied from the medium are found
//   log=<path>          the transaction log, which becomes the uninstall log (default: the
//                       description's Log setting; check, remove and recover need only the log)
//   output=<path>       where the progress lines go (default: standard output)
//   bar=painted         for the tests of the progress window: the bar it paints itself where
//                       the system has no common progress bar (NT 3.51)
//   stop-after=<n> [tear=1]   for the tests of recovery: the process ends right after the n-th
//                       intent or outcome reached the log (with tear=1 half-way through it)
//   stop-in-copy=1      for the tests of recovery: the process ends (exit code 9) half-way
//                       through the first copy of a file of 1 MB or more, with the part it
//                       wrote on the disk, as a crash in the middle of a large copy would
//   cancel-after=<n>    for the tests of cancelling: the user's cancel is requested right after
//                       element n's outcome reached the log, as a click on Cancel would
//
// Every run that knows its log first rolls back an installation that did not finish there.
// An installation whose log is already there (a committed one) is refused: its log would be lost.
//
// Removal undoes each element by the outcome its log records: a step that failed, or found
// nothing to do (a file the copy rule kept because one was there), is left alone; a registry
// value the product replaced comes back with its type and bytes; folders and keys the
// installation created go when they are empty.
//
// Progress lines:
//   install <n> of <m>: <component> <class> <id> status <s> [<note>]
//   undo <n> of <m>: ...      check <n> of <m>: ...      rollback <n> of <m>: ...
//   restart <path>            a file whose replacement or deletion waits for the restart
//   summary <phase>: <k> elements; by kind: <class> <count> ...; restart <r>; failed <f>
//
// An installation looks at the user's cancel (cancel.h) after every element; a cancel rolls back
// what was done so far ("cancelled after <n> of <m>: rolling back").
//
// A run is interactive unless the command line names an output= file or holds "/batch" or
// "/silent" (anywhere, in any case: the loader hands its own switches on). An interactive
// installation shows a progress window whose Cancel rolls it back, and asks about the restart;
// batch mode writes the progress lines only, and so does an interactive run that cannot make its
// window.
//
// Exit codes: 0 done; 2 the description was refused (nothing was installed) or the log could not
// be read; 3 at least one element failed (removal and check); 4 the log could not be written
// (nothing is left installed); 5 an element failed and the installation was rolled back; 6 a
// rollback could not put everything back (the log stays for another try); 7 the user cancelled
// and the installation was rolled back; 8 done, and replacements wait for the restart (after an
// installation or a removal: what the "restart" lines name; after a check: elements whose
// replacement has not happened yet, "check ... (waits for the restart)").
//
// When an installation or a removal leaves something for the restart, the engine says so
// ("restart needed: <k> replacements wait for it"); run interactively it also asks whether to
// restart Windows now.
#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "cancel.h"
#include "command_words.h"
#include "description.h"
#include "file_io.h"
#include "folder_sweep.h"
#include "kinds.h"
#include "progress_window.h"
#include "registration.h"
#include "restart.h"
#include "setup/assembly/class_table.h"
#include "setup/core/component.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/element_kinds.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/ttf_file.h"
#include "transaction_log.h"
#include "undo.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitRefused = 2;
constexpr int ExitElementFailed = 3;
constexpr int ExitLogFailed = 4;
constexpr int ExitRolledBack = 5;
constexpr int ExitRollbackIncomplete = 6;
constexpr int ExitCancelled = 7;
constexpr int ExitRestartNeeded = 8;

OutputFile g_out;

void Say(const std::string& line) {
    g_out.Write(line + "\r\n");
}

bool g_interactive = true;
std::string g_sourceFolder;
// The progress window of an interactive installation; null in batch mode.
ProgressWindow* g_window = nullptr;

// What ends a run that left work for the restart.
int RestartNeeded(int waiting) {
    Say("restart needed: " + std::to_string(waiting) +
        (waiting == 1 ? " replacement waits" : " replacements wait") + " for it");
    if (g_interactive) {
        const std::string product = TheSetupContext().MacroProduct.c_str();
        const std::string question =
            product + ": Windows must be restarted to finish. Restart Windows now?";
        if (MessageBoxA(nullptr, question.c_str(), product.c_str(), MB_YESNO | MB_ICONQUESTION) ==
                IDYES &&
            !RestartWindowsNow())
            Say("restart refused by Windows (error " + std::to_string(GetLastError()) + ")");
    }
    return ExitRestartNeeded;
}

// The copy of the stop-in-copy switch.
bool CopyAndStopHalfWay(const std::string& source, const std::string& destination) {
    KernelHandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD size = in ? GetFileSize(in.Get(), nullptr) : 0;
    if (!in || size == INVALID_FILE_SIZE || size < (1u << 20)) {
        in.Reset();
        return CopyFileA(source.c_str(), destination.c_str(), FALSE) != 0;
    }
    KernelHandle out(CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return false;
    std::vector<char> block(1 << 16);
    for (DWORD written = 0; written < size / 2;) {
        DWORD got = 0;
        DWORD put = 0;
        if (!ReadFile(in.Get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr) ||
            got == 0 || !WriteFile(out.Get(), block.data(), got, &put, nullptr) || put != got)
            return false;
        written += put;
    }
    FlushFileBuffers(out.Get());
    Say("stopped half-way through the copy of " + source + " to " + destination);
    TerminateProcess(GetCurrentProcess(), 9);
    return false;
}

std::string ModulePath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
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
    context.MacroS = (g_sourceFolder.empty() ? ParentOf(description.path) : g_sourceFolder).c_str();
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
    std::vector<DescribedValue> mediumFiles; // full source paths, by description line

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

// The problems of a description, each with its file and line.
struct Problems {
    const std::string& path;
    std::vector<std::string>& list;
    void operator()(int line, const std::string& reason) const {
        list.push_back(path + "(" + std::to_string(line) + "): " + reason);
    }
};

void BuildComponents(const ProductDescription& description, Product& product,
                     const Problems& problem) {
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
}

// What a file element copies from the medium must be there.
void CheckMediumFile(WSetupFile* file, const DescribedItem& item, const std::string& componentId,
                     Product& product, const Problems& problem) {
    // The copy takes the file named MediaName from the medium; a description that names only the
    // SourceName means that file. It is looked at without opening it: a file that is there but
    // cannot be read fails its copy, which rolls the installation back.
    if (file->MediaName.empty())
        file->MediaName = file->SourceName;
    const std::string name = file->MediaName.c_str();
    SetupContext& context = TheSetupContext();
    const std::string source =
        context.ResolvePath(context.ExpandVariables(file->SourceDir.c_str()), name);
    if (name.empty() || !IsFile(source))
        problem(item.line, "source file \"" + source + "\" is missing");
    else if (componentId != RegistrationComponent) // the engine copies itself
        product.mediumFiles.push_back(DescribedValue{item.id, source, item.line});
}

// Checks the description against the kinds and the medium and builds its objects; nothing is
// installed yet. Every problem is reported; false when there was any.
bool BuildProduct(const ProductDescription& description, Product& product,
                  std::vector<std::string>& problems) {
    const Problems problem{description.path, problems};
    BuildComponents(description, product, problem);
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

        if (kind->kind == KindFile || kind->kind == KindTTFFile)
            CheckMediumFile(static_cast<WSetupFile*>(element.get()), item, componentId, product,
                            problem);
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

// The engine's settings and the selected components, as the log's header keeps them.
std::vector<std::string> HeaderLines(const Product& product) {
    std::vector<std::string> lines;
    const SetupContext& context = TheSetupContext();
    for (const ContextSetting& s : ContextSettings)
        lines.push_back(std::string("context ") + s.name + "=" + (context.*s.field).c_str());
    FwPosition pos = context.Variables.GetStartPosition();
    while (pos) {
        FwString key, value;
        context.Variables.GetNextAssoc(pos, key, value);
        lines.push_back(std::string("variable ") + key.c_str() + "=" + value.c_str());
    }
    for (int i = 0; i < context.CustomMacros.GetSize(); ++i)
        lines.push_back(std::string("macro ") +
                        static_cast<const char*>(context.CustomMacros.GetAt(i)));
    for (const auto& component : product.components)
        if (component->IsSelected())
            lines.push_back(std::string("component ") + component->GetRecord001().c_str());
    return lines;
}

// Rebuilds the context and the components from a log's header.
bool ApplyHeader(const std::vector<std::string>& header, Product& product, std::string& error) {
    SetupContext& context = TheSetupContext();
    for (const std::string& line : header) {
        std::string word = TextBefore(line, " ");
        std::string rest = TextAfter(line, " ");
        if (word == "context") {
            std::string name = TextBefore(rest, "=");
            bool known = false;
            for (const ContextSetting& s : ContextSettings)
                if (name == s.name) {
                    context.*s.field = TextAfter(rest, "=").c_str();
                    known = true;
                }
            if (!known) {
                error = "unknown setting " + name;
                return false;
            }
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
        }
    }
    context.Enabled = 1;
    return true;
}

// The element of a logged step, from the record the step left (or, without an outcome, the one
// it was announced with); it joins its component.
WSetupElement* ElementOfStep(const LoggedStep& step, Product& product, std::string& error) {
    const ElementKindInfo* kind = FindElementKind(step.className);
    FwPtr<WSetupElement> element(kind ? CreateElement(step.className) : nullptr);
    if (!element) {
        error = "unknown element class " + step.className;
        return nullptr;
    }
    std::string reason;
    if (!SetFromRecord(element.get(), *kind->fields,
                       step.hasOutcome ? step.recordAfter : step.record, reason)) {
        error = "step " + std::to_string(step.number) + ": " + reason;
        return nullptr;
    }
    auto it = product.componentById.find(step.component);
    if (it == product.componentById.end()) {
        error = "unknown component " + step.component;
        return nullptr;
    }
    it->second->AddElement(element.get());
    product.componentOf[element.get()] = step.component;
    product.elements.push_back(element.get());
    WSetupElement* raw = element.get();
    product.owned.push_back(std::move(element));
    return raw;
}

std::string AsideFolderOf(const std::string& logPath) {
    return logPath + ".kept";
}

std::string ItemLine(const char* phase, int n, int m, WSetupElement* element,
                     const std::string& component, int status, const std::string& note);

// The kinds whose work is removal's (what the product makes when it runs, what the product
// asks to run when it is removed): their install step has nothing to do.
bool ActsAtRemoval(int kind) {
    return kind == KindRuntimeFile || kind == KindRuntimeRegEntry ||
           kind == KindUninstallExecutable || kind == KindUninstallCustomDLL;
}

// Undoes every step of the log in reverse, puts back what was kept aside, and removes the log.
// The log stays when something could not be put back, so that another run can try again.
bool RollBack(const std::string& logPath, const TransactionLog& log) {
    Product product;
    std::string error;
    if (!ApplyHeader(log.header, product, error)) {
        Say("rollback refused " + logPath + ": " + error);
        return false;
    }
    const ComScope com;
    FwStringArray rebootList;
    const int m = static_cast<int>(log.steps.size());
    int n = 0;
    int notPutBack = 0;
    for (auto it = log.steps.rbegin(); it != log.steps.rend(); ++it) {
        const LoggedStep& step = *it;
        WSetupElement* element = ElementOfStep(step, product, error);
        if (!element) {
            Say("rollback " + std::to_string(++n) + " of " + std::to_string(m) + ": " + error);
            ++notPutBack;
            continue;
        }
        std::string note;
        int status = 0;
        // A step that may have run is undone by its kind when the engine's saved states do not
        // cover what it did; a failed step is only put back from what was saved.
        // A font whose copy was done but whose registration failed may be registered in part.
        // The kinds that act at removal are undone as removal undoes them: their removal work
        // takes back what the product's own code wrote.
        const bool mayHaveRun =
            !step.hasOutcome || step.meaning == StepMeaning::Done ||
            (ActsAtRemoval(element->Kind) && step.meaning != StepMeaning::Failed) ||
            (element->Kind == KindTTFFile && MeaningOfStatus(element->Kind, ElementStep::Install,
                                                             step.status) != StepMeaning::Failed);
        if (!UndoneBySavedStates(element->Kind) && mayHaveRun) {
            StepResult r = UndoElement(element, rebootList);
            status = r.status;
            note = "undone by its kind";
        }
        for (auto saved = step.saved.rbegin(); saved != step.saved.rend(); ++saved) {
            if (!PutBack(*saved)) {
                ++notPutBack;
                note += (note.empty() ? "" : "; ") + std::string("not put back: ") +
                        DescribeSaved(*saved);
            }
        }
        Say(ItemLine("rollback", ++n, m, element, step.component, status, note));
    }
    if (notPutBack) {
        Say("summary rollback: " + std::to_string(m) + " steps; not put back " +
            std::to_string(notPutBack) + "; the log stays");
        return false;
    }
    RemoveFlatFolder(AsideFolderOf(logPath));
    SetFileAttributesA(logPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(logPath.c_str());
    for (const std::string& folder : log.createdFolders)
        RemoveCreatedFolders(ParentOf(logPath), folder);
    Say("summary rollback: " + std::to_string(m) + " steps; machine put back as it was");
    return true;
}

// Rolls back an installation that did not finish at `logPath`. Answers ExitOk when there was
// none or it was rolled back.
int RecoverIfUnfinished(const std::string& logPath) {
    if (GetFileAttributesA(logPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return ExitOk;
    TransactionLog log;
    std::string error;
    if (!ReadTransactionLog(logPath, log, error)) {
        Say("refused " + error);
        return ExitRefused;
    }
    if (log.committed)
        return ExitOk;
    Say("recover " + logPath + ": an installation that did not finish" +
        (log.torn ? " (its last line was cut short)" : ""));
    return RollBack(logPath, log) ? ExitOk : ExitRollbackIncomplete;
}

// A custom DLL is called only when it loads; the library's step would answer the same for a DLL
// that could not be loaded and one whose entry ran.
bool CustomDllLoads(WSetupElement* element, std::string& note) {
    if (element->Kind == KindCustomDLL && static_cast<WSetupCustomDLL*>(element)->Disabled)
        return true;
    const std::string path = ElementPath(*element, false);
    LoadedModule module(LoadLibraryA(path.c_str()));
    if (module)
        return true;
    note =
        "the DLL " + path + " could not be loaded (error " + std::to_string(GetLastError()) + ")";
    return false;
}

// Runs one step and says what it means; the engine's own judgement goes beyond the status where
// the status cannot tell a failure.
StepMeaning RunInstallStep(WSetupElement* element, FwStringArray& rebootList, FwPtrArray& collected,
                           StepResult& r) {
    // A DLL that removal will call must be there, and load, once the files are installed: a
    // removal that could not call it would leave the product's own removal work undone.
    if ((element->Kind == KindCustomDLL || element->Kind == KindUninstallCustomDLL) &&
        !CustomDllLoads(element, r.note)) {
        r.status = CustomDllAbsent;
        return StepMeaning::Failed;
    }
    r = InstallElement(element, rebootList, collected);
    StepMeaning meaning = MeaningOfStatus(element->Kind, ElementStep::Install, r.status);
    if (element->Kind == KindTTFFile && meaning != StepMeaning::Failed &&
        r.fontRegistration != FontRegistered && r.fontRegistration != FontAwaitsRestart)
        meaning = StepMeaning::Failed;
    return meaning;
}

// The test switches of an installation (see the command line above).
struct InstallSwitches {
    int stopAfter = 0;
    bool tear = false;
    int cancelAfter = 0;
};

// How the loop over the elements ended.
enum class LoopEnd { Done, ElementFailed, LogFailed, Cancelled };

struct InstallRun {
    TransactionWriter writer;
    std::string logPath;
    std::string aside;
    std::vector<WSetupElement*> order;
    FwStringArray rebootList;
    FwPtrArray collected;
    int failed = 0;
};

// A step whose intent is ready: its record and the states saved before it.
struct PreparedStep {
    WSetupElement* element = nullptr;
    LoggedStep step;
    bool saved = false; // false: what it would replace could not be kept aside, so it must not run
};

PreparedStep PrepareStep(Product& product, InstallRun& run, int n,
                         RestartListReading& restartList) {
    PreparedStep p;
    p.element = run.order[n - 1];
    p.step.number = n;
    p.step.className = p.element->GetRuntimeClass()->ClassName;
    p.step.component = product.componentOf[p.element];
    p.step.record = p.element->GetFullRecord().c_str();
    p.saved = SaveStateBefore(*p.element, n, run.aside, p.step.saved, &restartList);
    return p;
}

// The most steps whose intents share one flush of the log.
constexpr std::size_t MostStepsPerFlush = 64;

// The steps from `n` on whose intents go to the log with one flush. Every state of a batch is
// saved before any of its steps runs, so a batch holds only steps that their saved states undo
// (files, folders, values, settings) and none that touches what an earlier one of the batch
// touches; a step that runs the product's code or works through the shell, and one whose state
// could not be saved, stands alone. False when the log could not be written.
bool AnnounceBatch(Product& product, InstallRun& run, int n, std::vector<PreparedStep>& batch) {
    batch.clear();
    std::vector<Saved> states;
    RestartListReading restartList;
    const int m = static_cast<int>(run.order.size());
    for (int k = n; k <= m && batch.size() < MostStepsPerFlush; ++k) {
        const bool joins = UndoneBySavedStates(run.order[k - 1]->Kind);
        if (!batch.empty() && !joins)
            break;
        PreparedStep p = PrepareStep(product, run, k, restartList);
        if (!batch.empty() && (!p.saved || SharesState(states, p.step.saved)))
            break; // prepared again as the first of the next batch
        states.insert(states.end(), p.step.saved.begin(), p.step.saved.end());
        batch.push_back(std::move(p));
        if (!joins || !batch.back().saved)
            break;
    }
    for (const PreparedStep& p : batch)
        if (!run.writer.Stage(p.step))
            return false;
    return run.writer.Sync();
}

// Runs an announced step and records its outcome; false when the log could not be written.
bool RunStep(InstallRun& run, const PreparedStep& p, StepMeaning& meaning) {
    StepResult r{ElementNotProcessed, "", FontRegistered};
    meaning = StepMeaning::Failed;
    const int before = run.rebootList.GetSize();
    if (p.saved)
        meaning = RunInstallStep(p.element, run.rebootList, run.collected, r);
    else
        r.note = "what the step would replace could not be kept aside; not run";
    if (meaning == StepMeaning::Failed)
        ++run.failed;
    Say(ItemLine("install", p.step.number, static_cast<int>(run.order.size()), p.element,
                 p.step.component, r.status, r.note));
    for (int i = before; i < run.rebootList.GetSize(); ++i)
        Say(std::string("restart ") + run.rebootList.GetAt(i).c_str());
    return run.writer.Record(p.step.number, r.status, meaning, p.element->GetFullRecord().c_str());
}

LoopEnd InstallElements(Product& product, InstallRun& run, int cancelAfter) {
    // COM stays initialised for the whole installation, as on an engine's interface thread:
    // the kinds' own initialisations then only count, instead of building and tearing down the
    // apartment (under Wine a thread and a window) for every shortcut.
    const ComScope com;
    const int m = static_cast<int>(run.order.size());
    if (g_window)
        g_window->SetTotal(m);
    std::vector<PreparedStep> batch;
    for (int n = 1; n <= m;) {
        if (!AnnounceBatch(product, run, n, batch)) {
            Say("log " + run.logPath + " could not be written");
            return LoopEnd::LogFailed;
        }
        for (const PreparedStep& p : batch) {
            if (g_window)
                g_window->Step(n, p.step.component + " " + p.step.className + " " +
                                      p.element->Id.c_str());
            StepMeaning meaning = StepMeaning::Failed;
            if (!RunStep(run, p, meaning)) {
                Say("log " + run.logPath + " could not be written");
                return LoopEnd::LogFailed;
            }
            if (meaning == StepMeaning::Failed)
                return LoopEnd::ElementFailed;
            if (n == cancelAfter)
                RequestCancel();
            // A click on Cancel while the element ran is taken now: the element finished first.
            if (g_window)
                g_window->Pump();
            if (CancelRequested()) {
                Say("cancelled after " + std::to_string(n) + " of " + std::to_string(m) +
                    ": rolling back");
                return LoopEnd::Cancelled;
            }
            ++n;
        }
    }
    return LoopEnd::Done;
}

// Rolls back what reached the log: the same path as a recovery.
bool RollBackRun(InstallRun& run) {
    run.writer = TransactionWriter();
    TransactionLog log;
    std::string error;
    bool rolledBack = ReadTransactionLog(run.logPath, log, error) && RollBack(run.logPath, log);
    if (!error.empty())
        Say("rollback refused " + error);
    return rolledBack;
}

// Creates the log and its folder; false, with nothing left behind, when it could not.
bool BeginLog(const Product& product, InstallRun& run, const InstallSwitches& switches) {
    const std::string logFolder = ParentOf(run.logPath);
    const std::string createdFolder = FirstMissingFolder(logFolder);
    run.writer.StopAfter(switches.stopAfter, switches.tear);
    bool logged = (createdFolder.empty() || CreateDirectoryTree(logFolder)) &&
                  run.writer.Begin(run.logPath, HeaderLines(product)) &&
                  (createdFolder.empty() || run.writer.Note(CreatedLine(createdFolder)));
    if (logged)
        return true;
    Say("log " + run.logPath + " could not be written; nothing was installed");
    run.writer = TransactionWriter();
    DeleteFileA(run.logPath.c_str());
    if (!createdFolder.empty())
        RemoveCreatedFolders(logFolder, createdFolder);
    return false;
}

int Install(const ProductDescription& description, const std::string& logPath,
            const InstallSwitches& switches) {
    Product product;
    std::vector<std::string> problems;
    if (!BuildProduct(description, product, problems)) {
        for (const std::string& p : problems)
            Say("refused " + p);
        Say("summary refused: " + std::to_string(problems.size()) +
            (problems.size() == 1 ? " problem" : " problems") + "; nothing was installed");
        return ExitRefused;
    }
    if (GetFileAttributesA(logPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        Say("refused " + logPath +
            ": an installation is recorded there; remove it first (its log would be lost)");
        Say("summary refused: 1 problem; nothing was installed");
        return ExitRefused;
    }
    InstallRun run;
    run.logPath = logPath;
    run.aside = AsideFolderOf(logPath);
    if (!BeginLog(product, run, switches))
        return ExitLogFailed;
    run.order = Ordered(product, true);
    const LoopEnd end = InstallElements(product, run, switches.cancelAfter);
    if (end != LoopEnd::Done) {
        const bool cancelled = end == LoopEnd::Cancelled;
        if (g_window)
            g_window->Say(cancelled ? "Cancelled: putting back what was done so far"
                                    : "An element failed: putting back what was done so far");
        const bool rolledBack = RollBackRun(run);
        Summary("install", run.order, 0, run.failed);
        Say(std::string("rollback: ") + (rolledBack ? "machine put back as it was" : "incomplete"));
        if (g_window)
            g_window->Say(rolledBack ? (cancelled ? "Cancelled. Everything the installation had "
                                                    "done has been put back."
                                                  : "The installation failed. Everything it had "
                                                    "done has been put back.")
                                     : "The installation could not put everything back.");
        if (!rolledBack)
            return ExitRollbackIncomplete;
        return end == LoopEnd::LogFailed   ? ExitLogFailed
               : end == LoopEnd::Cancelled ? ExitCancelled
                                           : ExitRolledBack;
    }
    if (!run.writer.Commit()) {
        Say("log " + logPath + " could not be committed");
        return RollBackRun(run) ? ExitLogFailed : ExitRollbackIncomplete;
    }
    RemoveFlatFolder(run.aside);
    Say("log " + logPath);
    Summary("install", run.order, run.rebootList.GetSize(), run.failed);
    if (g_window)
        g_window->Say(description.name + " is installed.");
    return run.rebootList.GetSize() > 0 ? RestartNeeded(run.rebootList.GetSize()) : ExitOk;
}

bool ReadCommittedLog(const std::string& logPath, TransactionLog& log, Product& product,
                      std::vector<const LoggedStep*>& steps,
                      std::vector<WSetupElement*>& elements) {
    std::string error;
    if (!ReadTransactionLog(logPath, log, error)) {
        Say("refused " + error);
        return false;
    }
    if (!log.committed) {
        Say("refused " + logPath + ": the installation did not finish");
        return false;
    }
    if (!ApplyHeader(log.header, product, error)) {
        Say("refused " + logPath + ": " + error);
        return false;
    }
    for (const LoggedStep& step : log.steps) {
        WSetupElement* element = ElementOfStep(step, product, error);
        if (!element) {
            Say("refused " + logPath + ": " + error);
            return false;
        }
        steps.push_back(&step);
        elements.push_back(element);
    }
    return true;
}

// Whether the installation left the element as it found it: a step that failed, or found
// nothing to do (the kinds that act at removal excepted), has nothing to check or undo.
bool LeftAlone(WSetupElement* element, const LoggedStep& step) {
    return step.meaning == StepMeaning::Failed ||
           (step.meaning == StepMeaning::NothingToDo && !ActsAtRemoval(element->Kind));
}

int Check(const std::string& logPath) {
    TransactionLog log;
    Product product;
    std::vector<const LoggedStep*> steps;
    std::vector<WSetupElement*> order;
    if (!ReadCommittedLog(logPath, log, product, steps, order))
        return ExitRefused;
    const std::vector<PendingRename> pending = PendingRenames();
    const int m = static_cast<int>(order.size());
    int failed = 0;
    int waiting = 0;
    for (int i = 0; i < m; ++i) {
        WSetupElement* element = order[i];
        const LoggedStep& step = *steps[i];
        if (LeftAlone(element, step)) {
            Say(ItemLine("check", i + 1, m, element, step.component, step.status,
                         "not installed: nothing to check"));
            continue;
        }
        int status = VerifyElement(element);
        std::string note;
        // A replacement that waits for the restart is not a failure yet.
        if ((element->Kind == KindFile || element->Kind == KindTTFFile) &&
            WaitsForRestart(ElementPath(*element, false), pending)) {
            ++waiting;
            note = "waits for the restart";
        } else if (MeaningOfStatus(element->Kind, ElementStep::Check, status) ==
                   StepMeaning::Failed) {
            ++failed;
        }
        Say(ItemLine("check", i + 1, m, element, step.component, status, note));
    }
    Summary("check", order, waiting, failed);
    if (failed)
        return ExitElementFailed;
    return waiting ? ExitRestartNeeded : ExitOk;
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

// The registry value the entry replaced, when there was one: removal puts it back with its type.
const Saved* ReplacedValue(const LoggedStep& step) {
    for (const Saved& s : step.saved)
        if (s.kind == Saved::Kind::RegValue && s.existed)
            return &s;
    return nullptr;
}

// Undoes one installed element; what the step means.
StepMeaning UndoInstalled(WSetupElement* element, const LoggedStep& step, FwStringArray& rebootList,
                          StepResult& r) {
    if (element->Kind == KindRegEntry && element->RemoveOnUninstall) {
        if (const Saved* replaced = ReplacedValue(step)) {
            const bool back = PutBack(*replaced);
            r.status = back ? EntryPreviousRestored : EntryRestoreFailed;
            r.note = back ? "the value it replaced is back with its type"
                          : "the value it replaced could not be put back";
            return back ? StepMeaning::Done : StepMeaning::Failed;
        }
    }
    r = UndoElement(element, rebootList);
    StepMeaning meaning = MeaningOfStatus(element->Kind, ElementStep::Undo, r.status);
    if (meaning != StepMeaning::Failed)
        for (auto saved = step.saved.rbegin(); saved != step.saved.rend(); ++saved)
            if ((saved->kind != Saved::Kind::File || element->Kind == KindProfileString) &&
                IsLeftoverOfCreation(*saved))
                PutBack(*saved);
    // A restore that found nothing to restore did not do what was asked.
    if (element->Kind == KindRegEntry && r.status == EntryValueGone &&
        static_cast<WSetupRegEntry*>(element)->RestoreOnUninstall &&
        !static_cast<WSetupRegEntry*>(element)->PreviousValue.empty())
        meaning = StepMeaning::Failed;
    return meaning;
}

void WriteLeftLog(const std::string& logPath, const TransactionLog& log,
                  const std::vector<const LoggedStep*>& left) {
    CreateDirectoryTree(ParentOf(logPath));
    OutputFile file;
    std::string text = "# uninstall log: what removal could not take back\r\n";
    for (const std::string& line : log.header)
        text += line + "\r\n";
    for (const LoggedStep* step : left)
        text += IntentLine(*step) +
                OutcomeLine(step->number, step->status, step->meaning, step->recordAfter);
    text += CommitLine;
    if (file.Create(logPath) && file.Write(text) && file.Flush())
        Say("log " + logPath + " keeps " + std::to_string(left.size()) + " elements");
    else
        Say("log " + logPath + " could not be written back");
}

int Remove(const std::string& logPath) {
    TransactionLog log;
    Product product;
    std::vector<const LoggedStep*> steps;
    std::vector<WSetupElement*> order;
    if (!ReadCommittedLog(logPath, log, product, steps, order))
        return ExitRefused;
    // The log is the engine's own file in the product's folder: it goes first, so that the
    // folder can be removed; what cannot be undone is written back to it afterwards.
    DeleteFileA(logPath.c_str());
    RemoveFlatFolder(AsideFolderOf(logPath));
    FwStringArray rebootList;
    std::vector<const LoggedStep*> left;
    FolderSweep folders;
    const int m = static_cast<int>(order.size());
    int n = 0;
    for (int i = m - 1; i >= 0; --i) {
        WSetupElement* element = order[i];
        const LoggedStep& step = *steps[i];
        ++n;
        if (LeftAlone(element, step)) {
            Say(ItemLine("undo", n, m, element, step.component, step.status,
                         "nothing to undo: the installation did not change it"));
            continue;
        }
        const int before = rebootList.GetSize();
        if (KeptForOthers(element)) {
            Say(ItemLine("undo", n, m, element, step.component, 0,
                         "kept: another product counts it"));
            continue;
        }
        const bool swept = folders.Take(element);
        if (!swept)
            folders.Run();
        StepResult r{0, "", FontRegistered};
        if (UndoInstalled(element, step, rebootList, r) == StepMeaning::Failed)
            left.insert(left.begin(), &step);
        if (swept)
            folders.After();
        Say(ItemLine("undo", n, m, element, step.component, r.status, r.note));
        for (int k = before; k < rebootList.GetSize(); ++k)
            Say(std::string("restart ") + rebootList.GetAt(k).c_str());
    }
    folders.Run();
    if (!left.empty())
        WriteLeftLog(logPath, log, left);
    else
        for (const std::string& folder : log.createdFolders) {
            RemoveCreatedFolders(ParentOf(logPath), folder);
            // A file in it waits for the restart (one that was in use): the folders go after
            // that file.
            if (rebootList.GetSize() > 0) {
                std::vector<std::string> scheduled;
                RemoveFoldersAtRestart(ParentOf(logPath), folder, scheduled);
                for (const std::string& level : scheduled) {
                    rebootList.Add(FwString(level.c_str()));
                    Say("restart " + level);
                }
            }
        }
    Summary("remove", order, rebootList.GetSize(), static_cast<int>(left.size()));
    if (!left.empty())
        return ExitElementFailed;
    return rebootList.GetSize() > 0 ? RestartNeeded(rebootList.GetSize()) : ExitOk;
}
// What the command line asks.
struct Request {
    std::string descriptionPath = JoinPath(ParentOf(ModulePath()), "product.txt", true);
    std::string mode = "install";
    std::string logPath;
    std::string outputPath;
    InstallSwitches switches;
    bool stopInCopy = false;
    bool commonBar = true;
};

Request ReadCommandLine() {
    Request request;
    for (const std::string& word : CommandWords(GetCommandLineA())) {
        std::string key = TextBefore(word, "=");
        std::string value = TextAfter(word, "=");
        if (word.find('=') == std::string::npos)
            continue;
        if (key == "description")
            request.descriptionPath = value;
        else if (key == "mode")
            request.mode = value;
        else if (key == "log")
            request.logPath = value;
        else if (key == "output")
            request.outputPath = value;
        else if (key == "stop-after")
            request.switches.stopAfter = std::atoi(value.c_str());
        else if (key == "tear")
            request.switches.tear = value == "1";
        else if (key == "stop-in-copy")
            request.stopInCopy = value == "1";
        else if (key == "cancel-after")
            request.switches.cancelAfter = std::atoi(value.c_str());
        else if (key == "source")
            g_sourceFolder = value;
        else if (key == "bar")
            request.commonBar = value != "painted";
    }
    const std::string commandLine = Uppercased(GetCommandLineA());
    g_interactive = request.outputPath.empty() && commandLine.find("/BATCH") == std::string::npos &&
                    commandLine.find("/SILENT") == std::string::npos;
    return request;
}

// Checking, removal and recovery rebuild everything from the log alone.
int RunFromLog(const Request& request) {
    if (request.logPath.empty()) {
        Say("refused " + request.mode + " needs log=<path>");
        return ExitRefused;
    }
    const int recovered = RecoverIfUnfinished(request.logPath);
    if (request.mode == "recover") {
        if (recovered == ExitOk)
            Say("summary recover: nothing left unfinished");
        return recovered;
    }
    if (recovered != ExitOk)
        return recovered;
    return request.mode == "check" ? Check(request.logPath) : Remove(request.logPath);
}

// An interactive installation runs with its progress window, when one can be made.
int InstallWithWindow(const ProductDescription& description, const Request& request) {
    ProgressWindow window;
    if (g_interactive && window.Open(description.name, 0, request.commonBar))
        g_window = &window;
    const int code = Install(description, request.logPath, request.switches);
    if (g_window) {
        Say(std::string("progress window: ") +
            (window.HasCommonProgressBar() ? "common progress bar" : "painted progress bar"));
        // The last word stays readable for a moment.
        for (int i = 0; i < 150; ++i) {
            window.Pump();
            Sleep(10);
        }
        g_window = nullptr;
    }
    return code;
}

// What a medium must hold for the description, as mode=validate lists it.
void ListMedium(const ProductDescription& description, const Product& product) {
    Say("product " + description.name);
    std::string medium = TheSetupContext().MacroS.c_str();
    if (medium.empty() || medium.back() != '\\')
        medium += '\\';
    for (const DescribedValue& file : product.mediumFiles) {
        const bool below = file.value.size() > medium.size() &&
                           Uppercased(file.value.substr(0, medium.size())) == Uppercased(medium);
        Say((below ? "medium " : "outside ") + std::to_string(file.line) + " " +
            (below ? file.value.substr(medium.size()) : file.value));
    }
    if (!description.disclaimer.empty())
        Say("disclaimer " + std::to_string(description.disclaimerLine) + " " +
            description.disclaimer);
}

int RunFromDescription(Request& request) {
    ProductDescription description;
    std::string error;
    if (!ReadDescription(request.descriptionPath, description, error)) {
        Say("refused " + error);
        Say("summary refused: 1 problem; nothing was installed");
        return ExitRefused;
    }
    FillContext(description);
    if (request.logPath.empty())
        request.logPath = Expanded(description.log);
    AddRegistration(description, ModulePath(), request.logPath);
    if (request.mode == "install") {
        const int recovered = RecoverIfUnfinished(request.logPath);
        if (recovered != ExitOk)
            return recovered;
        FillContext(description);
        return InstallWithWindow(description, request);
    }
    Product product;
    std::vector<std::string> problems;
    bool ok = BuildProduct(description, product, problems);
    for (const std::string& p : problems)
        Say("refused " + p);
    if (ok)
        ListMedium(description, product);
    Say(ok ? "summary validate: accepted" : "summary refused: nothing was installed");
    return ok ? ExitOk : ExitRefused;
}
} // namespace

int main() {
    UseSetupClassTable();
    Request request = ReadCommandLine();
    OverrideForTesting<PlatformCopyFunction> copy(
        CopyFunctionForTesting(), request.stopInCopy ? &CopyAndStopHalfWay : nullptr);
    if (request.outputPath.empty())
        g_out.UseStandardOutput();
    else if (!g_out.Create(request.outputPath))
        return ExitRefused;
    Say(std::string("engine ") + GetCommandLineA());
    const std::string& mode = request.mode;
    if (mode == "check" || mode == "remove" || mode == "recover")
        return RunFromLog(request);
    if (mode != "install" && mode != "validate") {
        Say("refused unknown mode " + mode);
        return ExitRefused;
    }
    return RunFromDescription(request);
}
