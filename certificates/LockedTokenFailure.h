#pragma once

#include "common/FailureKinds.h"

namespace cto::nss {

// A card whose PIN is locked. Its kind is still EOleException; it is told
// apart from a key that merely cannot be used, because asking is pointless
// and its message already says what is wrong and with which card.
class LockedTokenFailure : public EOleException {
public:
    using EOleException::EOleException;
};

} // namespace cto::nss
