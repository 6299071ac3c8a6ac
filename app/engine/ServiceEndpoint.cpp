#include "app/engine/ServiceEndpoint.h"

#include "transport/ServiceDeployment.h"
#include "transport/THTTPRIO.h"

#include <string>

namespace cto {

void configureServiceEndpoint(THTTPRIO& client) {
    const std::string site = "https://" + serviceHost();
    client.setWSDLLocation(site + "/TULVA/ficheros/ServicioXmlTurismo.wsdl");
    client.setService("SolicitudEncuestaWSService");
    client.setPort("ServicioXmlTurismo");
    client.setURL(site + "/TULVA/services/ServicioXmlTurismo?");
    // Part of configuring the connection, before the user picks a certificate,
    // rather than a wait once the survey is due to go.
    client.HTTPWebNode().LookUpSystemProxy();
}

} // namespace cto
