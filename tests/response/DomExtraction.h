#pragma once

#include <string>
#include <string_view>

namespace cto::dom {

// The answer's element from a whole tree: the reference for the one-pass reader.
std::string extraerRespuestaDeMemoria(std::string_view responseBytes);

} // namespace cto::dom
