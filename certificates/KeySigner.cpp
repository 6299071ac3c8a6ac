#include "certificates/KeySigner.h"

#include "certificates/NssDatabase.h"
#include "certificates/StoreFailures.h"
#include "transport/ClientCertificate.h"

#include <cryptohi.h>
#include <secerr.h>

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/obj_mac.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace cto::nss {

namespace {

// The hashes a TLS handshake may sign with, in OpenSSL's and NSS's names.
struct Hash {
    int nid;
    SECOidTag oid;
    CK_MECHANISM_TYPE mechanism;
    CK_RSA_PKCS_MGF_TYPE mgf1;
    std::size_t length;
};
constexpr Hash kHashes[] = {
    {NID_sha1, SEC_OID_SHA1, CKM_SHA_1, CKG_MGF1_SHA1, 20},
    {NID_sha224, SEC_OID_SHA224, CKM_SHA224, CKG_MGF1_SHA224, 28},
    {NID_sha256, SEC_OID_SHA256, CKM_SHA256, CKG_MGF1_SHA256, 32},
    {NID_sha384, SEC_OID_SHA384, CKM_SHA384, CKG_MGF1_SHA384, 48},
    {NID_sha512, SEC_OID_SHA512, CKM_SHA512, CKG_MGF1_SHA512, 64},
};

// The hash, when it is one of those and the digest is as long as it makes.
const Hash* hashOf(int nid, std::size_t digestLength) {
    const auto found = std::find_if(std::begin(kHashes), std::end(kHashes),
                                    [&](const Hash& hash) { return hash.nid == nid; });
    return found != std::end(kHashes) && found->length == digestLength ? found : nullptr;
}

SECItem itemOver(std::span<const unsigned char> bytes) {
    return {siBuffer, const_cast<unsigned char*>(bytes.data()), static_cast<unsigned>(bytes.size())};
}

struct EcdsaSignatureDeleter {
    void operator()(ECDSA_SIG* signature) const noexcept { ECDSA_SIG_free(signature); }
};
struct BigNumberDeleter {
    void operator()(BIGNUM* number) const noexcept { BN_free(number); }
};

// NSS answers ECDSA as r and s side by side, each half the bytes; TLS wants
// them as a DER SEQUENCE of two INTEGERs.
std::vector<unsigned char> ecdsaDer(std::span<const unsigned char> raw) {
    const std::size_t half = raw.size() / 2;
    std::unique_ptr<BIGNUM, BigNumberDeleter> r(BN_bin2bn(raw.data(), int(half), nullptr));
    std::unique_ptr<BIGNUM, BigNumberDeleter> s(BN_bin2bn(raw.data() + half, int(half), nullptr));
    std::unique_ptr<ECDSA_SIG, EcdsaSignatureDeleter> signature(ECDSA_SIG_new());
    if (!r || !s || !signature || ECDSA_SIG_set0(signature.get(), r.get(), s.get()) != 1)
        return {};
    (void)r.release(); // the signature owns them now
    (void)s.release();
    const int size = i2d_ECDSA_SIG(signature.get(), nullptr);
    if (size <= 0)
        return {};
    std::vector<unsigned char> der(static_cast<std::size_t>(size));
    unsigned char* cursor = der.data();
    i2d_ECDSA_SIG(signature.get(), &cursor);
    return der;
}

// A signature that this side refuses before the token is asked, with the reason.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The size of the key's signatures, which the token works out from the key;
// a key handle that its token does not know gives none.
std::size_t signatureLengthOf(SECKEYPrivateKey* key) {
    const int length = PK11_SignatureLen(key);
    if (length <= 0)
        throw Refusal("la clave ya no se encuentra allí (una tarjeta retirada, una clave borrada) o su "
                      "almacén no la reconoce");
    return static_cast<std::size_t>(length);
}

const Hash& requiredHash(int nid, std::size_t digestLength) {
    const Hash* hash = hashOf(nid, digestLength);
    if (!hash)
        throw Refusal("el servidor pidió firmar un resumen que no es SHA-1 ni SHA-2");
    return *hash;
}

// The reasons a token gives most often, in the user's words; NSS's own text for the rest.
std::string reasonOf(PRErrorCode code) {
    switch (code) {
    case SEC_ERROR_NO_TOKEN:
    case SEC_ERROR_PKCS11_DEVICE_ERROR:
        return "el almacén o la tarjeta ya no responde: puede que se haya retirado la tarjeta";
    case SEC_ERROR_TOKEN_NOT_LOGGED_IN:
    case SEC_ERROR_BAD_PASSWORD:
        return "el almacén no tiene abierta la sesión con su contraseña o PIN";
    case SEC_ERROR_INVALID_KEY:
    case SEC_ERROR_BAD_KEY:
        return "el almacén no reconoce la clave";
    case SEC_ERROR_INVALID_ALGORITHM:
        return "el almacén no firma con el algoritmo de la clave";
    default:
        return errorText(code);
    }
}

} // namespace

KeySigner::KeySigner(PrivateKey key, std::shared_ptr<const void> storeAlive,
                     std::shared_ptr<SigningFailureNote> failures)
    : key_(std::move(key)), store_(storeNameOf(key_->pkcs11Slot).toStdString()),
      storeAlive_(std::move(storeAlive)), failures_(std::move(failures)) {}

bool KeySigner::isRsa() const noexcept {
    return SECKEY_GetPrivateKeyType(key_.get()) == rsaKey;
}

std::vector<unsigned char> KeySigner::sign(int hashNid, std::span<const unsigned char> digest,
                                           RsaPadding padding) const noexcept {
    try {
        PORT_SetError(0);
        // Asked of the token first, whatever the signature: a key that its
        // token no longer knows then says so rather than what fails next.
        (void)signatureLengthOf(key_.get());
        std::vector<unsigned char> signature = !isRsa()                     ? signEcdsa(digest)
                                               : padding == RsaPadding::Pss ? signPss(hashNid, digest)
                                                                            : signPkcs1(hashNid, digest);
        if (signature.empty())
            noteFailure(reasonOf(PORT_GetError()));
        return signature;
    } catch (const Refusal& refusal) {
        noteFailure(refusal.what());
        return {};
    } catch (...) {
        // Nothing may unwind into OpenSSL, whose handshake called this.
        noteFailure(reasonOf(PORT_GetError()));
        return {};
    }
}

std::vector<unsigned char> KeySigner::signPkcs1(int hashNid, std::span<const unsigned char> digest) const {
    const Hash& hash = requiredHash(hashNid, digest.size());
    SECItem toSign = itemOver(digest);
    const Item signature(SECITEM_AllocItem(nullptr, nullptr, 0));
    if (!signature || SGN_Digest(key_.get(), hash.oid, signature.get(), &toSign) != SECSuccess)
        return {};
    return {signature->data, signature->data + signature->len};
}

std::vector<unsigned char> KeySigner::signPss(int hashNid, std::span<const unsigned char> digest) const {
    const Hash& hash = requiredHash(hashNid, digest.size());
    CK_RSA_PKCS_PSS_PARAMS pss{hash.mechanism, hash.mgf1, hash.length};
    SECItem parameters{siBuffer, reinterpret_cast<unsigned char*>(&pss), sizeof pss};
    std::vector<unsigned char> signature(signatureLengthOf(key_.get()));
    SECItem output = itemOver(signature);
    SECItem toSign = itemOver(digest);
    if (PK11_SignWithMechanism(key_.get(), CKM_RSA_PKCS_PSS, &parameters, &output, &toSign) != SECSuccess)
        return {};
    signature.resize(output.len);
    return signature;
}

std::vector<unsigned char> KeySigner::signEcdsa(std::span<const unsigned char> digest) const {
    std::vector<unsigned char> raw(signatureLengthOf(key_.get()));
    SECItem output = itemOver(raw);
    SECItem toSign = itemOver(digest);
    if (PK11_Sign(key_.get(), &output, &toSign) != SECSuccess)
        return {};
    return ecdsaDer(std::span(raw).first(output.len));
}

void KeySigner::noteFailure(const std::string& reason) const {
    if (failures_)
        failures_->record("su clave en «" + store_ + "»: " + reason);
}

} // namespace cto::nss
