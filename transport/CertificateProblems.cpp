#include "transport/CertificateProblems.h"

#include "transport/RequestFlags.h"

#include <openssl/x509_vfy.h>

namespace cto::http {

namespace {

constexpr CertificateProblem kUnknownAuthority{kIgnoreUnknownCa, kInvalidCertificateAuthority};
constexpr CertificateProblem kRevocationUnchecked{kIgnoreRevocation, kRevocationCheckFailed};
constexpr CertificateProblem kRevoked{0, kCertificateRevoked};
constexpr CertificateProblem kOutsideValidity{kIgnoreCertDateInvalid, kCertificateDateInvalid};
constexpr CertificateProblem kOtherHost{kIgnoreCertNameInvalid, kCertificateNameInvalid};
constexpr CertificateProblem kOther{0, kInvalidCertificate};

} // namespace

CertificateProblem certificateProblem(long verifyError) {
    switch (verifyError) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return kUnknownAuthority;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
        return kRevocationUnchecked;
    case X509_V_ERR_CERT_REVOKED:
        return kRevoked;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return kOutsideValidity;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return kOtherHost;
    default:
        return kOther;
    }
}

} // namespace cto::http
