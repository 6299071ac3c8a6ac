#pragma once

#include "common/ByteStream.h"

#include <cstddef>
#include <string>

namespace cto {

// The first `count` characters (code points) of line `line` (counted from 1,
// lines ending at line feeds) of the XML text in source, as UTF-8, without
// the line end. The text is decoded as UTF-16/32 when its first bytes say so,
// else as UTF-8, falling back to Latin-1 when the text up to the end of that
// line is not valid in that encoding.
std::string sourceLineStart(ByteStream& source, int line, std::size_t count);

} // namespace cto
