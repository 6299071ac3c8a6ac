#pragma once

#include <string>

namespace cto {

// A user name and password for a server or proxy that asks for them.
struct Credentials {
    std::string userName;
    std::string password;
};

} // namespace cto
