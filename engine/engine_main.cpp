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
//                       "disclaimer <line> <file>" for the description's Disclaimer,
//                       "medium <line> <file>" for its Plugin and its Licence, and
//                       "icon <line> <file>" for its Icon, after "product <name>"
//   source=<folder>     the <S> folder (default: the description's folder), where the files
//                       copied from the medium are found
//   log=<path>          the transaction log, which becomes the uninstall log (default: the
//                       description's Log setting; check, remove and recover need only the log)
//   output=<path>       where the progress lines go (default: standard output)
//   destination=<folder> the <D> folder, in place of the description's Destination
//   group=<name>        the program group <G>, in place of the description's Group
//   type=<name>         the setup type to install, one of the description's Types
//   components=<a>,<b>  exactly these components (with the Fixed ones and the parents of each)
//   existing=<word>     what an installation does when one is already committed at its log:
//                       "repair" puts back what is missing or changed, "upgrade" installs over
//                       it as a newer version, "refuse" refuses it; without the word, the
//                       description's Version against the installed one decides: the same
//                       version repairs, a newer one upgrades, an older one is refused
//                       (reinstall.h)
// A destination that is no full path, lies on the medium or names a file, an unknown type or an
// unknown component refuses the installation before anything changes.
// The engine's test build (TARVO_TEST_SWITCHES) knows a few more words: test_switches.h.
//
// Every run that knows its log first rolls back an installation that did not finish there.
// An installation whose log is already there (a committed one) repairs or upgrades it (see
// existing=): "repair: <k> elements put back", "upgrade from <old> to <new>"; each is one
// transaction, whose rollback leaves the installation as it was.
//
// Removal undoes each element by the outcome its log records: a step that failed, or found
// nothing to do (a file the copy rule kept because one was there), is left alone; a registry
// value the product replaced comes back with its type and bytes; folders and keys the
// installation created go when they are empty.
//
// Progress lines:
//   install <n> of <m>: <component> <class> <id> status <s> <name of s> [(<note>)]
//   space <drive> needed <bytes> free <bytes>   before an installation, for each drive
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
// window. Before it changes anything, an interactive installation leads the user through the
// wizard (wizard_window.h) once the plug-in's Initialize has run: the destination, the setup
// type and the components, and the program group chosen there take the place of the
// description's as destination=, type=, components= and group= would, so that the log (its
// path and its header), the registration and the elements see them; Cancel there ends the run
// with exit code 7 and nothing changed. After the installation its Finish page says that the
// product is installed (after the restart question, when one is asked and answered No). An
// interactive removal first asks whether to remove the product (No: exit code 7, nothing changed),
// shows its progress without Cancel and ends with a report of what stayed.
//
// Exit codes: 0 done; 2 the description was refused (nothing was installed) or the log could not
// be read; 3 at least one element failed (removal and check); 4 the log could not be written
// (nothing is left installed); 5 an element failed and the installation was rolled back; 6 a
// rollback could not put everything back (the log stays for another try); 7 the user cancelled
// and the installation was rolled back, or answered No to the removal's question; 8 done, and
// replacements wait for the restart (after an installation or a removal: what the "restart" lines
// name; after a check: elements whose replacement has not happened yet, "check ... (waits for the
// restart)"); 11 not enough disk space for the chosen files, 12 a folder they go to cannot be
// written or the user may not change the machine's settings (preflight.h: nothing was changed);
// 13 the description's plug-in could not be loaded or lacks an entry point (nothing changed),
// or at removal its kept copy is gone (nothing was removed); 14 an entry point of the plug-in
// crashed (plugin_host.h says what was left); 15 a newer version of the product is installed
// there (nothing changed); 16 a file of the installation medium is damaged or cut short (its
// line says "the setup file <path> is damaged") and the installation was rolled back; 17 the user
// gave up waiting for a diskette of a diskette set ("the setup file <path> lies on a diskette
// that was not inserted") and the installation was rolled back.
//
// A medium whose <S> holds a diskette set's list (disk_set.h) is installed across its
// diskettes: the engine asks for each diskette by its label when a file lies on one that is not
// in the drive, as the loader asks for its own (also in batch mode: only a person can change a
// diskette). A list that cannot be read refuses the installation before anything changes.
//
// When an installation or a removal leaves something for the restart, the engine says so
// ("restart needed: <k> replacements wait for it"); run interactively it also asks whether to
// restart Windows now.
#include <windows.h>

#include <string>
#include <vector>

#include "command_words.h"
#include "description.h"
#include "file_io.h"
#include "install_run.h"
#include "output.h"
#include "preflight.h"
#include "plugin_host.h"
#include "product.h"
#include "progress_window.h"
#include "registration.h"
#include "reinstall.h"
#include "removal.h"
#include "rollback.h"
#include "setup/assembly/class_table.h"
#include "setup/core/disk_set.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/text.h"
#include "setup/elements/copy_rules.h"
#include "wizard.h"
#include "wizard_window.h"
#ifdef TARVO_TEST_SWITCHES
#include "test_switches.h"
#endif

namespace {

std::string ModulePath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

// What the command line asks.
struct Request {
    std::string descriptionPath = JoinPath(ParentOf(ModulePath()), "product.txt", true);
    std::string mode = "install";
    std::string logPath;
    std::string outputPath;
    InstallSwitches switches;
    bool commonBar = true;
    bool destinationGiven = false;
    std::string destination;
    bool groupGiven = false;
    std::string group;
    Choices choices;
    ExistingChoice existing = ExistingChoice::ByVersion;
    std::string existingWord;
#ifdef TARVO_TEST_SWITCHES
    TestSwitches test;
#endif
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
        else if (key == "source")
            g_sourceFolder = value;
        else if (key == "destination") {
            request.destinationGiven = true;
            request.destination = value;
        } else if (key == "group") {
            request.groupGiven = true;
            request.group = value;
        } else if (key == "type")
            request.choices.type = value;
        else if (key == "existing")
            request.existingWord = value;
        else if (key == "components") {
            request.choices.componentsChosen = true;
            request.choices.components = SplitList(value);
        }
#ifdef TARVO_TEST_SWITCHES
        else if (ReadTestSwitch(key, value, request.test))
            continue;
#endif
    }
#ifdef TARVO_TEST_SWITCHES
    request.switches = request.test.install;
    request.commonBar = !request.test.paintedBar;
#endif
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
    if (request.mode == "check")
        return Check(request.logPath);
    if (g_interactive) {
        const int asked = AskBeforeRemoval(request.logPath);
        if (asked != ExitOk)
            return asked;
    }
    return RemoveWithPlugin(request.logPath);
}

// An interactive installation runs with its progress window, when one can be made.
int InstallWithWindow(const ProductDescription& description, const Request& request,
                      PluginInstallHost& plugin, Reinstallation& over) {
    ProgressWindow window;
    if (g_interactive && window.Open(description.name, 0, request.commonBar))
        g_window = &window;
    plugin.SetLog(request.logPath);
    const int code = plugin.Finish(Install(description, over.TransactionLogPath(), request.switches,
                                           &plugin, over.Additions()));
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

// The wizard's pages, after the plug-in's Initialize and before anything changes: the choices
// go into the description as the command line's words do, and the context follows them. ExitOk
// to go on (also when the description is refused: the installation then names its problems,
// and when no window can be made); `shown` says whether the wizard ran.
int ChooseInWizard(ProductDescription& description, PluginInstallHost& plugin, bool& shown) {
    shown = false;
    if (!description.plugin.empty() && description.name.empty())
        return ExitOk; // refused below, as without the wizard
    Product product;
    std::vector<std::string> problems;
    if (!BuildProduct(description, product, problems))
        return ExitOk;
    const int offered = plugin.BeforeOffer(product);
    if (offered != ExitOk)
        return offered;
    WizardModel model(description, product);
    const int chosen = RunWizard(model, description, shown);
    if (!shown)
        return ExitOk;
    if (chosen != ExitOk) {
        Say("summary cancelled: nothing was installed");
        return chosen;
    }
    model.ApplyTo(description);
    FillContext(description);
    return ExitOk;
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
    if (!description.plugin.empty())
        Say("medium " + std::to_string(description.pluginLine) + " " + description.plugin);
    if (!description.licence.empty())
        Say("medium " + std::to_string(description.licenceLine) + " " + description.licence);
    if (!description.icon.empty())
        Say("icon " + std::to_string(description.iconLine) + " " + description.icon);
}

int RunFromDescription(Request& request) {
    ProductDescription description;
    std::string error;
    if (!ReadDescription(request.descriptionPath, description, error)) {
        Say("refused " + error);
        Say("summary refused: 1 problem; nothing was installed");
        return ExitRefused;
    }
    if (request.destinationGiven)
        description.destination = request.destination;
    if (request.groupGiven)
        description.group = request.group;
    description.choices = request.choices;
    FillContext(description);
    std::string setProblem;
    if (LoadDiskSet(TheSetupContext().MacroS.c_str(), description.name, setProblem) ==
        DiskSetLoad::Damaged) {
        Say("refused " + setProblem);
        Say("summary refused: 1 problem; nothing was installed");
        return ExitRefused;
    }
    const std::string refusal =
        DestinationRefusal(TheSetupContext().MacroD.c_str(), request.destinationGiven);
    if (!refusal.empty()) {
        Say("refused the destination " + std::string(TheSetupContext().MacroD.c_str()) + ": " +
            refusal);
        Say("summary refused: 1 problem; nothing was installed");
        return ExitRefused;
    }
    const bool installing = request.mode == "install";
    if (installing && !request.existingWord.empty() &&
        !ReadExistingChoice(request.existingWord, request.existing)) {
        Say("refused existing=" + request.existingWord + ": repair, upgrade or refuse");
        Say("summary refused: 1 problem; nothing was installed");
        return ExitRefused;
    }
    PluginInstallHost plugin(description, request.logPath);
    bool wizard = false;
    if (installing && g_interactive) {
        const int chosen = ChooseInWizard(description, plugin, wizard);
        if (chosen != ExitOk)
            return plugin.Finish(chosen);
    }
    if (request.logPath.empty())
        request.logPath = Expanded(description.log);
    AddRegistration(description, ModulePath(), request.logPath);
    std::string problem;
    if (!AddPluginCopy(description, request.logPath, problem)) {
        Say("refused " + problem);
        Say("summary refused: 1 problem; nothing was installed");
        return plugin.Finish(ExitRefused);
    }
    if (installing) {
        const int recovered = RecoverIfUnfinished(request.logPath);
        if (recovered != ExitOk)
            return plugin.Finish(recovered);
        FillContext(description);
        Reinstallation over(description, request.logPath, request.existing);
        if (over.Chosen() == Reinstallation::Way::Refused)
            return plugin.Finish(over.RefusalCode());
        if (over.Chosen() == Reinstallation::Way::Repair)
            return plugin.Finish(over.Repair(request.switches));
        FillContext(description); // reading the installed log filled it from its header
        const int code = InstallWithWindow(description, request, plugin, over);
        if (wizard && (code == ExitOk || code == ExitRestartNeeded) && !g_restartAccepted)
            ShowFinishPage(description.name);
        return code;
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
#ifdef TARVO_TEST_SWITCHES
    UseTestSwitches(request.test);
#endif
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
