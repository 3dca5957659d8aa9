#include "output.h"

#include <windows.h>

#include <map>

#include "restart.h"
#include "setup/core/macros.h"
#include "setup/elements/element_kinds.h"

OutputFile g_out;
bool g_interactive = true;
ProgressWindow* g_window = nullptr;
bool g_restartAccepted = false;

void Say(const std::string& line) {
    g_out.Write(line + "\r\n");
}

int RestartNeeded(int waiting) {
    Say("restart needed: " + std::to_string(waiting) +
        (waiting == 1 ? " replacement waits" : " replacements wait") + " for it");
    if (g_interactive) {
        const std::string product = TheSetupContext().MacroProduct.c_str();
        const std::string question =
            product + ": Windows must be restarted to finish. Restart Windows now?";
        if (MessageBoxA(nullptr, question.c_str(), product.c_str(), MB_YESNO | MB_ICONQUESTION) ==
            IDYES) {
            g_restartAccepted = RestartWindowsNow();
            if (!g_restartAccepted)
                Say("restart refused by Windows (error " + std::to_string(GetLastError()) + ")");
        }
    }
    return ExitRestartNeeded;
}

std::string ItemLine(const char* phase, int n, int m, WSetupElement* element,
                     const std::string& component, int status, const std::string& note,
                     const ElementStep* answered) {
    std::string line = std::string(phase) + " " + std::to_string(n) + " of " + std::to_string(m) +
                       ": " + component + " " + element->GetRuntimeClass()->ClassName + " " +
                       element->Id.c_str() + " status " + std::to_string(status);
    if (answered)
        if (const char* name = StatusNameOf(element->Kind, *answered, status))
            line += std::string(" ") + name;
    if (!note.empty())
        line += " (" + note + ")";
    return line;
}

std::string WithPlatformError(const std::string& note, DWORD error) {
    if (error == 0)
        return note;
    return note + (note.empty() ? "" : "; ") + "platform error " + std::to_string(error);
}

const ElementStep AnsweredByInstall = ElementStep::Install;
const ElementStep AnsweredByUndo = ElementStep::Undo;
const ElementStep AnsweredByCheck = ElementStep::Check;

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
