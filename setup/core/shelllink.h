// Shell link files (".LNK") written through the shell's link object.
#pragma once

#include <string>

// Separates the target path from its arguments inside CreateShellLink's target text.
constexpr char ShellLinkArgumentMark = '\x95';

// Writes the link `title`.LNK into `folder` (creating the folder). `targetAndArguments` holds
// the target path, then ShellLinkArgumentMark and the arguments (the text after the mark, as it
// is). Under a double-byte code page the mark byte 0x95 is also a lead byte: there the mark must
// be followed by a byte below 0x40 (the blank the shortcut element writes) or end the text,
// since the byte 0x95 with a trail byte after it is a character of the path. Icon: an `iconPath`
// naming an .exe, .dll or .ico file (an .ico always with index 0); without an icon path, a target
// that is an .exe with `iconIndex`; any other icon path sets no icon. True only when every property
// was set and the file saved.
[[nodiscard]] bool CreateShellLink(std::string folder, std::string title,
                                   std::string targetAndArguments, std::string workDir,
                                   std::string iconPath, int iconIndex);
