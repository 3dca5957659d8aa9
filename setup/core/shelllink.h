// Shell link files (".LNK") written through the shell's link object.
#pragma once

#include <string>

// Separates the target path from its arguments inside CreateShellLink's target text.
constexpr char ShellLinkArgumentMark = '\x95';

// Writes the link `title`.LNK into `folder` (creating the folder). `targetAndArguments` holds
// the target path, then ShellLinkArgumentMark and the arguments (the text after the mark, as it
// is). Icon: an `iconPath` naming an .exe, .dll or .ico file (an .ico always with index 0);
// without an icon path, a target that is an .exe with `iconIndex`; any other icon path sets no
// icon. True only when every property was set and the file saved.
bool CreateShellLink(std::string folder, std::string title, std::string targetAndArguments,
                     std::string workDir, std::string iconPath, int iconIndex);
