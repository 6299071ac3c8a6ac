#pragma once

namespace cto::test {

// Logs out of every token NSS has open, so that the next use of a card's key
// asks for its PIN again, as in a fresh run of the program.
void logOutOfEveryToken();

} // namespace cto::test
