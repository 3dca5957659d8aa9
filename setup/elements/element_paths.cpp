#include "setup/elements/element_paths.h"

#include "setup/core/fileutil.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"

std::string ElementPath(WSetupElement& element, bool shortNames) {
    SetupContext& context = TheSetupContext();
    element.DestDir = context.ExpandVariables(element.DestDir);
    std::string path = context.ResolvePath(element.DestDir, element.DestName);
    if (shortNames)
        path = ComputeShortPath(ParentOf(path), FileNameOf(path));
    return path;
}

DWORD FileAttributesOf(const std::string& path) {
    if (path.empty())
        return INVALID_FILE_ATTRIBUTES;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return INVALID_FILE_ATTRIBUTES;
    return attributes;
}

bool MakePlainForWriting(const std::string& path, DWORD attributes) {
    const DWORD restricting = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY;
    if ((attributes & restricting) == 0)
        return true;
    return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
}
