#pragma once

#include "certificates/PasswordPrompt.h"

#include <pk11pub.h>

namespace cto::nss {

// What a token's flags (CK_TOKEN_INFO) say of its user PIN: the tries left
// before it locks, and whether it is locked already.
PasswordRequest::TriesLeft triesLeftOf(CK_FLAGS tokenFlags);
bool pinLocked(CK_FLAGS tokenFlags);
// The token's own flags; none when it gives none.
CK_FLAGS tokenFlagsOf(PK11SlotInfo* slot);

// NSS's password callback (PK11_SetPasswordFunc): asks the installed
// PasswordPrompt, again with retry set after a wrong answer, until it answers
// nothing. A token whose PIN is locked is never asked.
char* askPassword(PK11SlotInfo* slot, PRBool retry, void* context);

} // namespace cto::nss
