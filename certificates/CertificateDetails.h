#pragma once

#include <cert.h>

#include <QDateTime>
#include <QString>

namespace cto::nss {

// What tells two certificates of one name apart, as text for the user.

// A distinguished name as NSS writes it, most specific part first ("CN=…,O=…").
QString distinguishedNameText(const CERTName& name);

// The name's organisation (O=), empty without one.
QString organisationOf(const CERTName& name);

// The serial number's bytes as encoded, in upper-case hexadecimal separated by colons.
QString serialNumberText(const SECItem& serialNumber);

// The certificate's validity period, UTC. Raises EOleException when NSS cannot read it.
struct Validity {
    QDateTime from;
    QDateTime to;
};
Validity validityOf(const CERTCertificate& certificate);

} // namespace cto::nss
