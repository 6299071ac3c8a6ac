#pragma once

namespace cto {

class THTTPRIO;

// Writes the four endpoint settings in the order that leaves only the service
// URL in force: description location, service, port, URL.
void configureServiceEndpoint(THTTPRIO& client);

} // namespace cto
