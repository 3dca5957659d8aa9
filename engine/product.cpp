#include "product.h"

#include "file_io.h"
#include "kind_table.h"
#include "kinds.h"
#include "registration.h"
#include "setup/core/disk_set.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"
#include "setup/elements/element_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/ttf_file.h"

std::string g_sourceFolder;

namespace {

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
    // Line 0: a choice of the command line (or of the wizard), not of the file.
    void operator()(int line, const std::string& reason) const {
        list.push_back(line == 0 ? "the choice " + reason
                                 : path + "(" + std::to_string(line) + "): " + reason);
    }
};

// The mode state of a component that a type installs, and of one it leaves out.
constexpr int ChosenState = 2;
constexpr int LeftOutState = 0;

// The index of a setup type in the components' mode states: its place in the description's
// Types; without Types the one type the components have, index 2. -1 for a name not among them.
int ModeOfType(const ProductDescription& description, const std::string& type) {
    if (description.types.empty())
        return type.empty() ? 2 : -1;
    if (type.empty())
        return 0;
    for (std::size_t i = 0; i < description.types.size(); ++i)
        if (EqualText(description.types[i], type, false))
            return static_cast<int>(i);
    return -1;
}

bool Flag(const DescribedValue& v, const Problems& problem) {
    if (v.value != "0" && v.value != "1")
        problem(v.line, v.name + " takes 0 or 1, not \"" + v.value + "\"");
    return v.value == "1";
}

// The type the run installs: the chosen one, else the description's Type, else the first.
int ChosenMode(const ProductDescription& description, const Problems& problem) {
    const std::string& chosen = description.choices.type;
    if (!chosen.empty()) {
        const int mode = ModeOfType(description, chosen);
        if (mode < 0) {
            std::string known;
            for (const std::string& t : description.types)
                known += (known.empty() ? "" : ", ") + t;
            problem(0, "type=" + chosen + ": no such setup type" +
                           (known.empty() ? std::string(" (the description names none)")
                                          : " (the description has " + known + ")"));
            return ModeOfType(description, "");
        }
        return mode;
    }
    const int mode = ModeOfType(description, description.defaultType);
    if (mode < 0) {
        problem(description.defaultTypeLine,
                "Type \"" + description.defaultType + "\" is not one of the Types");
        return ModeOfType(description, "");
    }
    return mode;
}

// A component whose parent is not installed is not installed either; walks from the top.
void FollowParents(WSetupComponent* component, bool parentChosen) {
    if (!parentChosen)
        component->ModeStates[component->ModeIndex] = LeftOutState;
    for (int i = 0; i < component->Children.GetSize(); ++i)
        FollowParents(component->ChildAt(i), component->IsSelected());
}

// The choice of components= : exactly the named ones, the Fixed ones, and the parents of all of
// them; a Locked component keeps what its type says.
void ApplyComponentChoice(const ProductDescription& description, Product& product,
                          const std::map<WSetupComponent*, WSetupComponent*>& parentOf,
                          const Problems& problem) {
    std::map<WSetupComponent*, bool> chosen;
    for (const std::string& id : description.choices.components) {
        auto it = product.componentById.find(id);
        if (it == product.componentById.end() || id == RegistrationComponent) {
            problem(0, "components=: no component \"" + id + "\"");
            continue;
        }
        WSetupComponent* component = it->second;
        if (component->Locked && !component->IsSelected())
            problem(0, "components=: \"" + id + "\" is locked out of this setup type");
        chosen[component] = true;
    }
    for (const auto& owned : product.components) {
        WSetupComponent* component = owned.get();
        if (component->Id == RegistrationComponent)
            continue;
        bool wanted = chosen.count(component) > 0 || component->Fixed ||
                      (component->Locked && component->IsSelected());
        if (!wanted)
            component->ModeStates[component->ModeIndex] = LeftOutState;
        else
            for (WSetupComponent* c = component; c;
                 c = parentOf.count(c) ? parentOf.at(c) : nullptr)
                c->ModeStates[c->ModeIndex] = ChosenState;
    }
}

void BuildComponents(const ProductDescription& description, Product& product,
                     const Problems& problem) {
    const int mode = ChosenMode(description, problem);
    std::vector<std::pair<WSetupComponent*, const DescribedValue*>> parents;
    for (const DescribedItem& item : description.components) {
        FwPtr<WSetupComponent> component(new WSetupComponent);
        component->Id = item.id.c_str();
        component->ModeIndex = mode;
        for (int& state : component->ModeStates)
            state = ChosenState;
        const DescribedValue* types = nullptr;
        for (const DescribedValue& v : item.values) {
            if (v.name == "Selected") {
                const bool selected = Flag(v, problem);
                for (int& state : component->ModeStates)
                    state = selected ? ChosenState : LeftOutState;
            } else if (v.name == "Types") {
                types = &v;
            } else if (v.name == "Fixed") {
                component->Fixed = Flag(v, problem) ? 1 : 0;
            } else if (v.name == "Locked") {
                component->Locked = Flag(v, problem) ? 1 : 0;
            } else if (v.name == "Parent") {
                parents.emplace_back(component.get(), &v);
            } else if (v.name == "Macro") {
                component->QualifiedName = v.value.c_str();
            } else {
                problem(v.line, "unknown component setting \"" + v.name + "\"");
            }
        }
        if (types) {
            if (description.types.empty())
                problem(types->line, "Types needs the product's Types");
            for (int& state : component->ModeStates)
                state = LeftOutState;
            for (const std::string& type : SplitList(types->value)) {
                const int m = ModeOfType(description, type);
                if (m < 0)
                    problem(types->line, "\"" + type + "\" is not one of the product's Types");
                else
                    component->ModeStates[m] = ChosenState;
            }
        }
        if (component->Fixed)
            for (int& state : component->ModeStates)
                state = ChosenState;
        product.componentById[item.id] = component.get();
        product.components.push_back(std::move(component));
    }
    std::map<WSetupComponent*, WSetupComponent*> parentOf;
    for (const auto& p : parents) {
        auto it = product.componentById.find(p.second->value);
        if (it == product.componentById.end()) {
            problem(p.second->line, "Parent \"" + p.second->value + "\" is not a component");
            continue;
        }
        if (parentOf.count(p.first)) {
            problem(p.second->line, "a second Parent");
            continue;
        }
        bool cycle = it->second == p.first;
        for (WSetupComponent* c = it->second; !cycle && parentOf.count(c); c = parentOf[c])
            cycle = parentOf[c] == p.first;
        if (cycle) {
            problem(p.second->line, "Parent \"" + p.second->value + "\" would be its own parent");
            continue;
        }
        parentOf[p.first] = it->second;
        it->second->Children.Add(p.first);
    }
    if (description.choices.componentsChosen)
        ApplyComponentChoice(description, product, parentOf, problem);
    for (const auto& owned : product.components)
        if (!parentOf.count(owned.get()))
            FollowParents(owned.get(), true);
}

// What a file element copies from the medium must be there.
void CheckMediumFile(WSetupFile* file, const DescribedItem& item, const std::string& componentId,
                     Product& product, const Problems& problem) {
    // The copy takes the file named MediaName from the medium; a description that names only the
    // SourceName means that file. It is looked at without opening it: a file that is there but
    // cannot be read fails its copy, which rolls the installation back. A file of a diskette
    // set's list is there on its own diskette.
    if (file->MediaName.empty())
        file->MediaName = file->SourceName;
    const std::string name = file->MediaName.c_str();
    SetupContext& context = TheSetupContext();
    const std::string source =
        context.ResolvePath(context.ExpandVariables(file->SourceDir.c_str()), name);
    if (name.empty() || (WhatIsAt(source) != PathKind::File && !DiskSetFileOf(source)))
        problem(item.line, "source file \"" + source + "\" is missing");
    else if (componentId != RegistrationComponent) // the engine copies itself
        product.mediumFiles.push_back(DescribedValue{item.id, source, item.line});
}

// The definitions a description or a log brings: a context is filled from one of them at a time,
// so that a rollback expands its log's own folders and a log's header holds each definition once.
void ForgetDefinitions(SetupContext& context) {
    context.Variables.RemoveAll();
    context.ClearCustomMacros();
}

} // namespace

void FillContext(const ProductDescription& description) {
    SetupContext& context = TheSetupContext();
    SystemFolders& folders = TheSystemFolders();
    ForgetDefinitions(context);
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
    context.Enabled = 1;
    // The destination may be written with the folder macros and variables, and so may the
    // custom macros' folders, which may lie below it; each is kept expanded, as the plug-in
    // that retargets them writes full paths.
    context.MacroD = context.Expand(context.ExpandVariables(description.destination)).c_str();
    for (const DescribedValue& m : description.customMacros)
        context.AddCustomMacro(m.name + "," + context.Expand(context.ExpandVariables(m.value)));
}

std::string Expanded(const std::string& text) {
    SetupContext& context = TheSetupContext();
    return context.Expand(context.ExpandVariables(text));
}

bool BuildProduct(const ProductDescription& description, Product& product,
                  std::vector<std::string>& problems) {
    const Problems problem{description.path, problems};
    product.version = description.version;
    BuildComponents(description, product, problem);
    for (const DescribedItem& item : description.elements) {
        const ElementKindInfo* kind = FindElementKind(item.className);
        if (!kind) {
            problem(item.line, "unknown element class \"" + item.className + "\"");
            continue;
        }
        if (!IsKnownKind(kind->kind)) {
            problem(item.line,
                    "class \"" + item.className + "\" is of a kind the engine cannot undo");
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

        if (RowOfKind(kind->kind).copiesAFile)
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
    if (!product.pluginCopy.empty())
        lines.push_back("plugin " + product.pluginCopy);
    if (!product.version.empty())
        lines.push_back("version " + product.version);
    for (const auto& component : product.components)
        if (component->IsSelected())
            lines.push_back(std::string("component ") + component->GetRecord001().c_str());
    return lines;
}

bool ApplyHeader(const std::vector<std::string>& header, Product& product, std::string& error) {
    SetupContext& context = TheSetupContext();
    ForgetDefinitions(context);
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

WSetupElement* ElementOfStep(const LoggedStep& step, Product& product, std::string& error) {
    const ElementKindInfo* kind = FindElementKind(step.className);
    FwPtr<WSetupElement> element(kind && IsKnownKind(kind->kind) ? CreateElement(step.className)
                                                                 : nullptr);
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
