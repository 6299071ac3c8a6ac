#include "transport/ServiceDeployment.h"

#include <cstdlib>
#include <string_view>

namespace cto {
namespace {

std::string setting(const char* name, const char* configured) {
    if (const char* value = std::getenv(name); value && *value)
        return value;
    return configured;
}

} // namespace

std::string serviceHost() {
    return setting("CTO_SERVICE_HOST", CTO_SERVICE_HOST_DEFAULT);
}

std::string serviceAuthoritiesFile() {
    return setting("CTO_SERVICE_CA_FILE", CTO_SERVICE_CA_FILE_DEFAULT);
}

bool officeTestService() {
    return setting("CTO_OFFICE_TEST_SERVICE", CTO_OFFICE_TEST_SERVICE_DEFAULT ? "1" : "0") == "1";
}

} // namespace cto
