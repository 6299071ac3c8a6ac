#include "app/engine/OutcomeReport.h"

#include "app/SendEngine.h"
#include "response/ResponseSummary.h"

namespace cto {
namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

} // namespace

QString outcomeMessage(const ResponseSummary& response) {
    // One field after the other: the first that cannot be read is the failure.
    const QString order = text(response.numeroOrden.value());
    const QString control = text(response.codigoControl.value());
    QString message = QStringLiteral("La encuesta con Numero de Orden: ") + order +
                      QStringLiteral(" y Código de Control: ") + control;
    if (response.errorCount != 0)
        message += QStringLiteral(" ha sido procesada con errores.  Corrijalos y realize de nuevo el envío.\r"
                                  "Se procederá a guardar los errores a continuación.");
    else
        message += QStringLiteral(" ha sido procesada correctamente con el siguiente resguardo de envio:") +
                   text(response.acuseEnvio.value()) +
                   QStringLiteral("\rSe procederá a guardar el resguardo a continuación.");
    return message;
}

QString orderNumberForFileName(const ResponseSummary& response) {
    // The order number comes from the server: a plain name of it, never a
    // path into another folder or a name the file system refuses.
    QString order = text(response.numeroOrden.value());
    order.removeIf([](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control;
    });
    return order;
}

QString proposedFileName(const ResponseSummary& response) {
    QString name = QStringLiteral("Envio") + orderNumberForFileName(response) + QStringLiteral(".xml");
    // The longest name a Linux file system takes, in bytes.
    constexpr qsizetype kLongestName = 255;
    if (name.toUtf8().size() <= kLongestName)
        return name;
    return QStringLiteral("Envio.xml");
}

Outcome readOutcome(const ResponseSummary& response, std::string responsePath) {
    Outcome outcome;
    outcome.message = outcomeMessage(response);
    outcome.proposedFileName = proposedFileName(response);
    outcome.responsePath = std::move(responsePath);
    return outcome;
}

} // namespace cto
