#pragma once

#include <string>

namespace cto {

// What a deployment sets when the program is built, each overridden for a
// run by the environment variable of the same name when it is set and not empty.

// The office's service host (CTO_SERVICE_HOST); it may carry a port.
std::string serviceHost();

// A PEM file of certification authorities trusted for the office's server
// besides the system's (CTO_SERVICE_CA_FILE); empty for none.
std::string serviceAuthoritiesFile();

// Whether the program talks to the office's test service (CTO_OFFICE_TEST_SERVICE,
// "1" or "0"), which answers an accepted test survey with an empty body.
bool officeTestService();

} // namespace cto
