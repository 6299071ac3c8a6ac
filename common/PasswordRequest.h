#pragma once

#include <QString>

namespace cto {

// A certificate database or a token that wants its password before its key
// can be used; a token's password is its PIN. The certificate store asks it,
// and the windows show it, each side of the engine's seam.
struct PasswordRequest {
    // Where the key lives, as the user knows it: a database as "Chromium /
    // escritorio" or "Firefox, perfil default-release", a token by its label.
    QString storeName;
    // A token (a smart card, any PKCS #11 module but NSS's own databases)
    // asks for its PIN, a database for its password.
    bool token = false;
    // The previous answer was wrong.
    bool retry = false;
    // What the token reports of the tries left before it locks its PIN.
    enum class TriesLeft { Plenty, Few, Last } triesLeft = TriesLeft::Plenty;
};

} // namespace cto
