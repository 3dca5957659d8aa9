// Path macro expansion: the process-wide macro context. Element paths and texts are written
// with macros in angle brackets ("<D>", "<SF2>", "<DL:>", "<CUSTAPPD>") and variables between
// two "%"; the context holds their values and expands text on request.
//
// The layout of SetupContext is shared with the setup engine, which hands its own instance to
// the plug-in by pointer: do not reorder or resize its fields.
#pragma once

#include <cstddef>
#include <string>

#include "setup/core/framework.h"

class SetupContext {
public:
    SetupContext();
    ~SetupContext(); // frees the custom definition buffers
    SetupContext(const SetupContext&) = delete;
    SetupContext& operator=(const SetupContext&) = delete;

    std::string Expand(const std::string& text) const;
    std::string ExpandVariables(const std::string& text) const;
    std::string LookupVariable(const std::string& name) const;
    // The expanded folder joined with the name; "<D>" stands in for an empty folder.
    std::string ResolvePath(const std::string& folder, const std::string& name) const;
    // The expanded folder; for an empty one, the start menu's Programs folder joined with "<G>".
    std::string ResolveGroupPath(const std::string& folder) const;

    // Appends a custom definition ("<CUSTKEY, value"); the context allocates and owns its buffer,
    // at least CustomMacroBufferSize bytes long.
    void AddCustomMacro(const std::string& definition);
    static constexpr int CustomMacroBufferSize = 300;
    // Frees every custom definition: the context then knows none.
    void ClearCustomMacros();

    FwMapStringToString Variables; // name-to-value table for %NAME% variables (block size 100)
    FwString MacroS;
    FwString MacroD;
    FwString MacroSF;
    FwString MacroW;
    FwString MacroY;
    FwString MacroVRF;
    FwString MacroF;
    FwString MacroT;
    FwString MacroN;
    FwString MacroC;
    FwString MacroE;
    FwString MacroK;
    FwString MacroO;
    FwString MacroR;
    FwString MacroU;
    FwString MacroP;
    FwString MacroG;
    FwString MacroL;
    FwString MacroLogonId;
    FwString MacroBDE;
    FwString MacroLang;
    FwString MacroSubLang;
    FwString MacroSysLang;
    FwString MacroSysSubLang;
    FwString MacroWtDefault;
    FwString MacroProduct;
    FwString MacroBoxName;
    FwPtrArray CustomMacros; // char* buffers, each "key,value"
    int RunFromSource;
    int Enabled;
};

#if defined(__i386__)
FW_LAYOUT_CHECKS_BEGIN
static_assert(offsetof(SetupContext, Variables) == 0, "SetupContext layout");
static_assert(offsetof(SetupContext, MacroS) == 28, "SetupContext layout");
static_assert(offsetof(SetupContext, MacroBoxName) == 132, "SetupContext layout");
static_assert(offsetof(SetupContext, CustomMacros) == 136, "SetupContext layout");
static_assert(offsetof(SetupContext, RunFromSource) == 156, "SetupContext layout");
static_assert(offsetof(SetupContext, Enabled) == 160, "SetupContext layout");
static_assert(sizeof(SetupContext) == 164, "SetupContext layout");
FW_LAYOUT_CHECKS_END
#endif

// The process-wide context (built before the program's main code, empty and disabled).
SetupContext& TheSetupContext();
// Expand on the process-wide context (the form the element kinds call).
std::string ExpandText(const std::string& text);
