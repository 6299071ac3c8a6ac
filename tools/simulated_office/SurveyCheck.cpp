#include "SurveyCheck.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

namespace cto::office {

namespace {

bool isCount(const QString& text) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    return ok && value >= 0;
}

} // namespace

SurveyReading readSurvey(const std::string& body) {
    SurveyReading reading;
    QXmlStreamReader xml(QByteArray::fromStdString(body));
    auto fault = [&](const char* type, const QString& description) {
        reading.faults.push_back({type, xml.lineNumber(), description.toStdString()});
    };

    QString month, year;
    bool sawRoot = false;
    long long monthLine = 0;
    QString residence;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QString name = xml.name().toString();
        if (!sawRoot) {
            sawRoot = true;
            if (name != QLatin1String("EncuestaAlojamiento")) {
                fault("Estructura",
                      QString::fromUtf8("El documento no es una encuesta de alojamiento (elemento raíz %1)")
                          .arg(name));
                return reading;
            }
            continue;
        }
        if (name == QLatin1String("Residencia")) {
            residence = xml.attributes().value(QLatin1String("pais")).toString();
        } else if (name == QLatin1String("NumeroRegistro")) {
            reading.registration = xml.readElementText().trimmed().toStdString();
        } else if (name == QLatin1String("Mes")) {
            monthLine = xml.lineNumber();
            month = xml.readElementText().trimmed();
        } else if (name == QLatin1String("Anyo")) {
            year = xml.readElementText().trimmed();
        } else if (name == QLatin1String("Entradas") || name == QLatin1String("Pernoctaciones")) {
            const QString text = xml.readElementText();
            if (!isCount(text))
                fault("Dato",
                      QString::fromUtf8("%1 de residentes en %2 no es un número entero no negativo: '%3'")
                          .arg(name, residence.isEmpty() ? QStringLiteral("?") : residence, text));
        }
    }
    if (xml.hasError()) {
        fault("Formato", QString::fromUtf8("XML mal formado: %1").arg(xml.errorString()));
        return reading;
    }
    if (!sawRoot) {
        reading.faults.push_back({"Formato", 1, "El envío no contiene ningún documento XML"});
        return reading;
    }
    if (reading.registration.empty())
        reading.faults.push_back({"Cabecera", 1, "Falta el número de registro del establecimiento"});
    bool monthOk = false;
    const int monthNumber = month.toInt(&monthOk);
    if (!monthOk || monthNumber < 1 || monthNumber > 12)
        reading.faults.push_back(
            {"Cabecera", monthLine,
             QString::fromUtf8("Mes del periodo no válido: '%1'").arg(month).toStdString()});
    bool yearOk = false;
    const int yearNumber = year.toInt(&yearOk);
    if (!yearOk || yearNumber < 2000 || yearNumber > 2100)
        reading.faults.push_back(
            {"Cabecera", monthLine,
             QString::fromUtf8("Año del periodo no válido: '%1'").arg(year).toStdString()});
    if (reading.faults.empty())
        reading.period =
            QStringLiteral("%1/%2").arg(monthNumber, 2, 10, QLatin1Char('0')).arg(yearNumber).toStdString();
    return reading;
}

} // namespace cto::office
