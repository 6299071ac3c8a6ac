#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace cto {

// A certificate database or a token that wants its password before its key
// can be used; a token's password is its PIN.
struct PasswordRequest {
    // The store's name as NSS holds it: a database's label, a card's token label.
    QString storeName;
    // A token (a smart card, any PKCS #11 module but NSS's own databases).
    bool token = false;
    // The previous answer was wrong.
    bool retry = false;
    // What the token reports of the tries left before it locks its PIN.
    enum class TriesLeft { Plenty, Few, Last } triesLeft = TriesLeft::Plenty;
};

// Answers the password, or nothing to cancel. Until a prompt is installed, a
// protected key cannot be unlocked and its lookup fails cleanly. The prompt
// may open while a TLS handshake waits for a signature (a card that wants its
// PIN for every signature): it must not return to the transfer's waiting hook.
using PasswordPrompt = std::function<std::optional<std::string>(const PasswordRequest& request)>;
void setPasswordPrompt(PasswordPrompt prompt);

} // namespace cto
