#pragma once

#include "common/ByteStream.h"

#include <cstddef>
#include <string>

namespace cto {

// The first `count` characters (code points) of line `line` (counted from 1,
// lines ending at line feeds) of the XML text in source, as UTF-8, without
// the line end. The text is decoded as UTF-16/32 when its first bytes say so,
// else as UTF-8, falling back to Latin-1 when it is not valid UTF-8.
std::string sourceLineStart(ByteStream& source, int line, std::size_t count);

} // namespace cto
