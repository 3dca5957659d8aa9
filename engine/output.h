// What a run tells: its progress lines (one Say each, "\r\n" ended), the code it exits with, and
// the progress window of an interactive installation. The forms of the lines and the meaning of
// the codes are those of the engine's command line (engine_main.cpp).
#pragma once

#include <string>
#include <vector>

#include "file_io.h"
#include "setup/core/element.h"

class ProgressWindow;

constexpr int ExitOk = 0;
constexpr int ExitRefused = 2;
constexpr int ExitElementFailed = 3;
constexpr int ExitLogFailed = 4;
constexpr int ExitRolledBack = 5;
constexpr int ExitRollbackIncomplete = 6;
constexpr int ExitCancelled = 7;
constexpr int ExitRestartNeeded = 8;
constexpr int ExitNoSpace = 11;  // not enough free space for the chosen files; nothing changed
constexpr int ExitNoRights = 12; // a folder cannot be written, or the user may not change the
                                 // machine's settings; nothing changed
// The description's plug-in could not be loaded, lacks an entry point, or (at removal) is gone.
constexpr int ExitPluginFailed = 13;
// An entry point of the plug-in crashed (plugin_host.h says what was left).
constexpr int ExitPluginCrashed = 14;
// A newer version of the product is installed where this one would go; nothing changed.
constexpr int ExitOlderVersion = 15;
// A file of the installation medium is damaged or cut short; the installation was rolled back.
constexpr int ExitDamagedMedium = 16;
// The user gave up waiting for a diskette of the set; the installation was rolled back.
constexpr int ExitDiskNotInserted = 17;

// Where the progress lines go: main opens it (the output= file or standard output) before the
// first line; a line said before that, or one the platform refuses, is lost.
extern OutputFile g_out;
// Whether the run may ask the user (the restart) and show a window; ReadCommandLine sets it.
extern bool g_interactive;
// The progress window while an interactive installation shows one (InstallWithWindow sets and
// clears it); null in batch mode and when the window could not be made.
extern ProgressWindow* g_window;

void Say(const std::string& line);

// "<phase> <n> of <m>: <component> <class> <id> status <status> <name>", with " (<note>)" when
// there is a note. The name is the one the kind gives `status` as an answer of `answered`; a line
// whose status no operation answered (`answered` null) carries none.
std::string ItemLine(const char* phase, int n, int m, WSetupElement* element,
                     const std::string& component, int status, const std::string& note,
                     const ElementStep* answered);

// The note of a step that failed, with the platform's error code when a call of it failed
// (`error`, read right after the step; 0 when none is known).
std::string WithPlatformError(const std::string& note, DWORD error);

// What answered the status of a line.
extern const ElementStep AnsweredByInstall;
extern const ElementStep AnsweredByUndo;
extern const ElementStep AnsweredByCheck;

// The "summary <phase>: ..." line, the elements counted by their class.
void Summary(const char* phase, const std::vector<WSetupElement*>& elements, int restart,
             int failed);

// Ends a run that left `waiting` replacements for the restart: says so and, run interactively,
// asks whether to restart Windows now. Answers ExitRestartNeeded, whatever the user answered.
int RestartNeeded(int waiting);
// Whether the user answered Yes to that question and Windows took the request (the session is
// ending: nothing more is shown).
extern bool g_restartAccepted;
