#pragma once

#include "common/PasswordRequest.h"

#include <functional>
#include <optional>
#include <string>

namespace cto {

// Answers the password, or nothing to cancel. Until a prompt is installed, a
// protected key cannot be unlocked and its lookup fails cleanly. The prompt
// may open while a TLS handshake waits for a signature (a card that wants its
// PIN for every signature): it must not return to the transfer's waiting hook.
using PasswordPrompt = std::function<std::optional<std::string>(const PasswordRequest& request)>;
void setPasswordPrompt(PasswordPrompt prompt);

} // namespace cto
