#include "app/OutcomeReport.h"

#include "app/SendEngine.h"
#include "response/RespuestaSolicitud.h"

namespace cto {
namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// An Errores element without items, or none at all, counts as no errors.
int errorCount(IXMLRespuestaSolicitudEncuesta& response) {
    const auto errores = response.Errores();
    if (!errores)
        return 0;
    const auto items = errores->Error();
    return items ? items->Count() : 0;
}

} // namespace

QString outcomeMessage(IXMLRespuestaSolicitudEncuesta& response) {
    QString message = QStringLiteral("La encuesta con Numero de Orden: ") + text(response.NumeroOrden()) +
                      QStringLiteral(" y Código de Control: ") + text(response.CodigoControl());
    if (errorCount(response) != 0)
        message += QStringLiteral(" ha sido procesada con errores.  Corrijalos y realize de nuevo el envío.\r"
                                  "Se procederá a guardar los errores a continuación.");
    else
        message += QStringLiteral(" ha sido procesada correctamente con el siguiente resguardo de envio:") +
                   text(response.AcuseEnvio()) +
                   QStringLiteral("\rSe procederá a guardar el resguardo a continuación.");
    return message;
}

QString orderNumberForFileName(IXMLRespuestaSolicitudEncuesta& response) {
    // The order number comes from the server: a plain name of it, never a
    // path into another folder or a name the file system refuses.
    QString order = text(response.NumeroOrden());
    order.removeIf([](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control;
    });
    return order;
}

QString proposedFileName(IXMLRespuestaSolicitudEncuesta& response) {
    QString name = QStringLiteral("Envio") + orderNumberForFileName(response) + QStringLiteral(".xml");
    // The longest name a Linux file system takes, in bytes.
    constexpr qsizetype kLongestName = 255;
    if (name.toUtf8().size() <= kLongestName)
        return name;
    return QStringLiteral("Envio.xml");
}

Outcome readOutcome(IXMLRespuestaSolicitudEncuesta& response, std::string normalisedResponse) {
    Outcome outcome;
    outcome.message = outcomeMessage(response);
    outcome.proposedFileName = proposedFileName(response);
    outcome.normalisedResponse = std::move(normalisedResponse);
    return outcome;
}

} // namespace cto
