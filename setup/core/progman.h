// Program Manager groups and items through DDE: on systems without the newer shell, program
// groups and their items are made by sending command texts to the "PROGMAN" service, one
// execute transaction per command.
//
// Every command is formatted into a buffer of PmCommandBufferSize bytes. A command whose texts
// do not fit is not sent at all (neither cut short nor otherwise) and the call reports failure.
// A command that needs a text returns false without sending anything when that text is null.
#pragma once

#include <cstddef>

constexpr std::size_t PmCommandBufferSize = 256;
// Size of the buffer that receives a group's description in PmDeleteGroupIfEmpty.
constexpr std::size_t PmGroupInfoBufferSize = 8096;

// Sends one command text as an execute transaction to "PROGMAN". True when the service took the
// command and the conversation ended cleanly.
[[nodiscard]] bool PmExecute(const char* command);

// "[CreateGroup(name,path)]", or "[CreateGroup(name)]" when the path is null or empty.
[[nodiscard]] bool PmCreateGroup(const char* name, const char* path);
// "[DeleteGroup(name)]"; an empty name sends an empty command.
[[nodiscard]] bool PmDeleteGroup(const char* name);
// "[ShowGroup(name,show)]"; an empty name sends an empty command.
[[nodiscard]] bool PmShowGroup(const char* name, unsigned short showCommand);
// With an icon path: "[AddItem(commandLine,title,iconPath,iconIndex)]"; without one:
// "[AddItem(commandLine,title,commandLine,,,,workDir)]".
[[nodiscard]] bool PmAddItem(const char* commandLine, const char* title, const char* iconPath,
                             unsigned short iconIndex, const char* workDir);
// "[DeleteItem(title)]"; an empty title sends an empty command.
[[nodiscard]] bool PmDeleteItem(const char* title);
// "[ReplaceItem(title)]"; an empty title sends an empty command.
[[nodiscard]] bool PmReplaceItem(const char* title);
// Shows the group, replaces the item of that title and adds the new item. A group that cannot
// be shown ends the call with false; a refused ReplaceItem (no such item yet) does not stop the
// AddItem, whose result is the result.
[[nodiscard]] bool PmAddProgramItem(const char* group, const char* title, const char* commandLine,
                                    const char* workDir);
// Asks "PROGMAN" for `item` as text and copies at most `size` bytes of the answer into
// `buffer`, which always ends up zero-terminated.
[[nodiscard]] bool PmRequest(const char* item, char* buffer, std::size_t size);
// Deletes the group when its description reports no items (third comma-separated field 0).
// A group whose description cannot be had is left alone.
[[nodiscard]] bool PmDeleteGroupIfEmpty(const char* group);
