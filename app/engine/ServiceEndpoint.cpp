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
}

} // namespace cto
