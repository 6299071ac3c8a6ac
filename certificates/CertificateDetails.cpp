#include "certificates/CertificateDetails.h"

#include "certificates/NssOwners.h"
#include "certificates/StoreFailures.h"

#include <QTimeZone>

namespace cto::nss {

namespace {

QString takeText(char* text) {
    const String owned(text);
    return owned ? QString::fromUtf8(owned.get()) : QString();
}

// PRTime counts microseconds since the epoch, UTC.
QDateTime utcTime(PRTime time) {
    return QDateTime::fromMSecsSinceEpoch(time / 1000, QTimeZone::utc());
}

} // namespace

QString distinguishedNameText(const CERTName& name) {
    return takeText(CERT_NameToAscii(const_cast<CERTName*>(&name)));
}

QString organisationOf(const CERTName& name) {
    return takeText(CERT_GetOrgName(&name));
}

QString serialNumberText(const SECItem& serialNumber) {
    const QByteArray bytes(reinterpret_cast<const char*>(serialNumber.data), qsizetype(serialNumber.len));
    return QString::fromLatin1(bytes.toHex(':').toUpper());
}

Validity validityOf(const CERTCertificate& certificate) {
    PRTime notBefore = 0;
    PRTime notAfter = 0;
    if (CERT_GetCertTimes(&certificate, &notBefore, &notAfter) != SECSuccess)
        throwStoreFailure();
    return {utcTime(notBefore), utcTime(notAfter)};
}

} // namespace cto::nss
