#pragma once

#include <string>

namespace cto {

// A user name and password, as a server or a proxy asks for them.
struct Credentials {
    std::string userName;
    std::string password;
};

} // namespace cto
