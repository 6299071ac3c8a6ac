#include "certificates/KeySigningLimits.h"

#include "certificates/NssDatabase.h"
#include "common/FailureKinds.h"

#include <keyhi.h>
#include <pk11pub.h>
#include <secerr.h>

#include <openssl/ssl.h>

namespace cto::nss {

namespace {

// SHA-1 is left out: no server worth the survey asks for it.
constexpr char kPssSchemes[] = "rsa_pss_rsae_sha256:rsa_pss_rsae_sha384:rsa_pss_rsae_sha512";
constexpr char kPkcs1Schemes[] = "rsa_pkcs1_sha256:rsa_pkcs1_sha384:rsa_pkcs1_sha512";
// Under TLS 1.2 these are ECDSA with the hash on any curve; under TLS 1.3
// OpenSSL keeps the one of the key's curve.
constexpr char kEcdsaSchemes[] = "ecdsa_secp256r1_sha256:ecdsa_secp384r1_sha384:ecdsa_secp521r1_sha512";

} // namespace

SigningLimits signingLimitsOf(SECKEYPrivateKey* key) {
    PK11SlotInfo* slot = key->pkcs11Slot;
    const std::string store = "«" + storeNameOf(slot).toStdString() + "»";
    // Found before the connection opens rather than in the middle of the handshake.
    if (PK11_SignatureLen(key) <= 0)
        throw EOleException(
            "su almacén " + store +
            " ya no tiene su clave (una tarjeta retirada, una clave borrada) o no la reconoce");
    SigningLimits limits;
    switch (SECKEY_GetPrivateKeyType(key)) {
    case rsaKey: {
        const bool pss = PK11_DoesMechanism(slot, CKM_RSA_PKCS_PSS);
        const bool pkcs1 = PK11_DoesMechanism(slot, CKM_RSA_PKCS);
        if (pss)
            limits.signatureSchemes = kPssSchemes;
        if (pkcs1)
            limits.signatureSchemes += std::string(pss ? ":" : "") + kPkcs1Schemes;
        limits.highestTlsVersion = pss ? 0 : TLS1_2_VERSION;
        break;
    }
    case ecKey:
        if (PK11_DoesMechanism(slot, CKM_ECDSA))
            limits.signatureSchemes = kEcdsaSchemes;
        break;
    default:
        break;
    }
    if (limits.signatureSchemes.empty())
        throw EOleException("su almacén " + store +
                            " no sabe firmar con su clase de clave ninguna de las firmas de un saludo TLS");
    return limits;
}

} // namespace cto::nss
