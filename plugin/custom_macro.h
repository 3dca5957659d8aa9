// Retargeting a component's custom folder macro in the engine's macro context.
#pragma once

#include <cstddef>
#include <string>

class SetupContext;

namespace morvik {

// A custom macro definition ("key,value") whose new text would reach this length is left alone:
// the engine's definition buffers hold at least this many bytes.
constexpr std::size_t CustomMacroLimit = 300;

// Rewrites the first custom definition of `macros` whose trimmed key equals `key` (ignoring
// case; `key` itself is not trimmed) to the trimmed key, ",", and `path`, in place, when the new
// text is shorter than CustomMacroLimit. Later matching definitions and all others stay as they
// are, and so does the matching one when its new text would be too long. Null entries are
// skipped.
void RetargetCustomMacro(SetupContext* macros, const std::string& key, const std::string& path);

} // namespace morvik
