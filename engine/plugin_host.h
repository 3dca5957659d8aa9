// The plug-in a description names (`Plugin = <file on the medium>` in [Product]): the engine
// loads it and calls its six entry points by name, one at a time, each under the library's
// crash guard (setup/elements/crash_guard.h), with records of its own (plugin_records.h):
//   Initialize     the components are built, before any is offered (the selection is not final)
//   PreInstall     after the user's choice, before the transaction begins
//   PostInstall    after the commit
//   UNInitialize   last (after PostInstall, and after a failed or rolled-back installation)
// and at removal, from the copy the installation kept:
//   PreUNInstall   before removal, with the components that go in the removal list
//   PostUNInstall  after removal
//   UNInitialize   last
//
// The records: the registry's map 0 holds every component of the product by its name (the part of
// its Id after the last ":" or ".": "Sample:QX9_PalmPilot.PilotConduit1_1" is found as
// "PilotConduit1_1", while its Id is what the plug-in reads at removal); map 1 the
// components of the installation (at installation those selected at the moment of the call, at
// removal every component the log names); maps 2 to 6 stay empty. The engine's own component
// (the registration) is in none of them. Arguments: 0; the install record (Initialize,
// PreInstall, PostInstall) or the registry (the other three); a zero-filled block of the
// engine's; the product's name.
//
// Action codes: a component the plug-in gives 8 (in Initialize or PreInstall) is neither offered
// nor installed, whatever its Selected says, and stays out for the run; 3 and 7 offer it, so its
// Selected decides; 4 selects it. Every other code leaves its Selected as the description says.
//
// Custom macros: the plug-in edits the definitions of the record's context in place (buffers of
// at least SetupContext::CustomMacroBufferSize bytes); after Initialize and after PreInstall the
// engine reads them back into the process-wide context, so the elements, the log's header and
// with it check, rollback and removal use the folders the plug-in chose. A definition left
// without its terminating zero inside its buffer is ignored (the old one stays) and said.
//
// Failures: a plug-in that cannot be loaded or lacks one of the six entry points ends the run
// with ExitPluginFailed before anything changed; a crash inside an entry point ends it with
// ExitPluginCrashed and no further entry point is called: before the transaction nothing was
// installed; a crash in PostInstall or UNInitialize leaves the committed installation complete
// (it is not rolled back: the product is installed, only the plug-in's own work after the
// commit may be missing); a crash in PreUNInstall removes nothing, one after the removal leaves
// the removal done. The entry points' results are printed and otherwise taken as success.
//
// Removal: the installation copies the plug-in into the Windows folder beside the engine's copy
// (PluginCopyName) as an element of the registration, and its log's header names the copy
// ("plugin <path>"). Removal loads a temporary copy of it (so that the kept copy goes with the
// removal like every other file) and deletes that after unloading it. A log that names a copy
// which is no longer there is refused (ExitPluginFailed) and nothing is removed.
#pragma once

#include <memory>
#include <string>

#include "description.h"
#include "install_run.h"

// Adds the copy of the description's plug-in to the registration (after AddRegistration): false,
// with the problem, for a plug-in without a product Name (no registration keeps it) or for two
// components that the plug-in would find by the same name.
[[nodiscard]] bool AddPluginCopy(ProductDescription& description, const std::string& logPath,
                                 std::string& problem);

// The name by which the plug-in finds a component: the part of its Id after the last ":" or ".".
std::string PluginNameOf(const std::string& componentId);

// The plug-in's path on the medium, as the description names it (empty: none).
std::string PluginSourcePath(const ProductDescription& description);

// "rp", six hexadecimal digits (as for the engine's copy) and ".dll".
std::string PluginCopyName(const std::string& productName, const std::string& logPath);

// The installation's moments for the plug-in the description names.
class PluginInstallHost : public InstallMoments {
public:
    explicit PluginInstallHost(const ProductDescription& description, const std::string& logPath);
    ~PluginInstallHost() override;
    PluginInstallHost(const PluginInstallHost&) = delete;
    PluginInstallHost& operator=(const PluginInstallHost&) = delete;

    // The log's path, when it is known only after the host was made (the wizard's destination).
    void SetLog(const std::string& logPath);
    // Initialize at the first call; a later call (the product built again after the wizard)
    // applies what Initialize decided to the new product without calling the plug-in again.
    int BeforeOffer(Product& product) override;
    int BeforeTransaction(Product& product) override;
    int AfterCommit(Product& product) override;
    // UNInitialize, when the plug-in was loaded and did not crash; answers `code`, or
    // ExitPluginCrashed when UNInitialize crashed.
    int Finish(int code);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// mode=remove: the removal of the log, with its plug-in's calls around it when the header names
// one. Answers the run's exit code.
[[nodiscard]] int RemoveWithPlugin(const std::string& logPath);
