#include "app/engine/EmptyAnswer.h"

#include "common/FailureKinds.h"
#include "transport/ServiceDeployment.h"

namespace cto {

std::string receiptForEmptyAnswer(int status) {
    if (officeTestService() && status < 300)
        return std::string(kTestReceipt);
    throw EXMLDocError("La respuesta del servicio está vacía (estado HTTP " + std::to_string(status) +
                       "): no contiene el elemento RespuestaSolicitudEncuesta");
}

} // namespace cto
