// Reads a shell link back through read_link.exe, a second process that loads it with the
// shell's link object.
#pragma once

#include <map>
#include <string>

#include "support/fixtures.h"

namespace testsupport {

struct LinkInfo {
    bool Loaded = false;
    std::string Path, Arguments, WorkDir, Description, Icon;
    int IconIndex = -1;
};

// `scratch` is a folder the caller owns, for the helper's output file.
inline LinkInfo ReadLink(const std::string& linkFile, const std::string& scratch) {
    LinkInfo info;
    std::string out = scratch + "\\read_link.txt";
    DeleteFileA(out.c_str());
    std::string cmd =
        "\"" + ProgramFolder() + "\\read_link.exe\" \"" + linkFile + "\" \"" + out + "\"";
    if (RunAndWait(cmd) != 0)
        return info;
    std::map<std::string, std::string> fields;
    std::string text = ReadFileBytes(out);
    std::size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        std::string line = text.substr(start, end - start);
        std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            fields[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    info.Loaded = true;
    info.Path = fields["path"];
    info.Arguments = fields["arguments"];
    info.WorkDir = fields["workdir"];
    info.Description = fields["description"];
    info.Icon = fields["icon"];
    info.IconIndex = std::atoi(fields["iconindex"].c_str());
    return info;
}

} // namespace testsupport
