#pragma once

#include <string>

namespace cto {

// A user name and password, as a server or a proxy asks for them.
struct Credentials {
    std::string userName;
    std::string password;
};

// Who asks for credentials, and what it said when it asked.
struct CredentialsRequest {
    bool proxy = false; // a proxy (407, or a tunnel it refused for want of them); else the office (401)
    // What the asker calls itself (its realm), as it sent it: nothing vouches
    // for it, so it is shown as its words, never as the program's.
    std::string realm;
    bool refused = false; // credentials given to the same asker were just refused
};

} // namespace cto
