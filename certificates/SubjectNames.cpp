#include "certificates/SubjectNames.h"

#include "certificates/NssOwners.h"

#include <secoid.h>

#include <functional>

namespace cto::nss {

namespace {

// Calls visit(tag, value) for each attribute whose value NSS can decode to UTF-8.
void forEachAttribute(const CERTName& subject, const std::function<void(SECOidTag, const QString&)>& visit) {
    for (CERTRDN** rdn = subject.rdns; rdn && *rdn; ++rdn) {
        for (CERTAVA** ava = (*rdn)->avas; ava && *ava; ++ava) {
            const Item value(CERT_DecodeAVAValue(&(*ava)->value));
            if (!value)
                continue;
            visit(CERT_GetAVATag(*ava),
                  QString::fromUtf8(reinterpret_cast<const char*>(value->data), qsizetype(value->len)));
        }
    }
}

} // namespace

QString simpleNameOf(const CERTName& subject) {
    // Rank of an attribute in the display name's preference; -1 when it plays no part.
    const auto rank = [](SECOidTag tag) {
        switch (tag) {
        case SEC_OID_AVA_COMMON_NAME:
            return 0;
        case SEC_OID_AVA_ORGANIZATIONAL_UNIT_NAME:
            return 1;
        case SEC_OID_AVA_ORGANIZATION_NAME:
            return 2;
        case SEC_OID_PKCS9_EMAIL_ADDRESS:
        case SEC_OID_RFC1274_MAIL:
            return 3;
        default:
            return -1;
        }
    };
    int bestRank = -1;
    QString best;
    forEachAttribute(subject, [&](SECOidTag tag, const QString& value) {
        const int valueRank = rank(tag);
        if (valueRank >= 0 && (bestRank < 0 || valueRank < bestRank)) {
            bestRank = valueRank;
            best = value;
        }
    });
    return best;
}

QString subjectTextOf(const CERTName& subject) {
    QString text;
    forEachAttribute(subject, [&](SECOidTag, const QString& value) {
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += value;
    });
    return text;
}

} // namespace cto::nss
