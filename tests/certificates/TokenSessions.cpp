#include "certificates/TokenSessions.h"

#include <pk11pub.h>

namespace cto::test {

void logOutOfEveryToken() {
    PK11_LogoutAll();
}

} // namespace cto::test
