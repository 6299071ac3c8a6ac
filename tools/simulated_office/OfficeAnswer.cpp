#include "OfficeAnswer.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

namespace cto::office {

namespace {

std::string escaped(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped().toStdString();
}

std::string field(const char* name, const std::string& value) {
    return std::string("<") + name + ">" + escaped(value) + "</" + name + ">";
}

std::string controlCode(const std::string& body) {
    const QByteArray hex =
        QCryptographicHash::hash(QByteArray::fromStdString(body), QCryptographicHash::Sha256)
            .toHex()
            .toUpper();
    return (hex.left(4) + '-' + hex.mid(4, 4)).toStdString();
}

} // namespace

OfficeAnswer answerSurvey(const std::string& body, const SurveyReading& reading, int sequence,
                          const std::string& receivedAt) {
    OfficeAnswer answer;
    answer.orderNumber = QStringLiteral("OSK-%1").arg(sequence, 6, 10, QLatin1Char('0')).toStdString();
    answer.accepted = reading.faults.empty();
    std::string content =
        field("NumeroOrden", answer.orderNumber) + field("CodigoControl", controlCode(body));
    if (answer.accepted) {
        const std::string date = receivedAt.substr(0, 10);
        const std::string time = receivedAt.size() > 11 ? receivedAt.substr(11) : std::string();
        content +=
            field("AcuseEnvio", "Encuesta recibida el " + date + " a las " + time + ". Establecimiento " +
                                    reading.registration + ", periodo " + reading.period + ".");
    } else {
        content += "<Errores>" + field("Numero", std::to_string(reading.faults.size()));
        for (const SurveyFault& fault : reading.faults)
            content += "<Error>" + field("TipoError", fault.type) +
                       field("LineaError", std::to_string(fault.line)) +
                       field("DescripcionError", fault.description) + "</Error>";
        content += "</Errores>";
    }
    answer.element = "<RespuestaSolicitudEncuesta>" + content + "</RespuestaSolicitudEncuesta>";
    answer.envelope = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">\n"
                      "  <soapenv:Body>\n"
                      "    <ns1:solicitudEncuestaResponse xmlns:ns1=\"urn:oskel:tulva:encuestas\">\n"
                      "      " +
                      answer.element +
                      "\n"
                      "    </ns1:solicitudEncuestaResponse>\n"
                      "  </soapenv:Body>\n"
                      "</soapenv:Envelope>\n";
    return answer;
}

} // namespace cto::office
