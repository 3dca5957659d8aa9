// Writing strings to streams (used by diagnostics and tests). Kept apart from the framework so
// that programs which never use streams do not link the stream library.
#include "setup/core/framework.h"

#include <ostream>

std::ostream& operator<<(std::ostream& out, const FwString& text) {
    return out.write(text.c_str(), static_cast<std::streamsize>(text.size()));
}
