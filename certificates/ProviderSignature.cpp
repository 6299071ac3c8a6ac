// The signature of the provider of keys kept in NSS: OpenSSL hashes, the
// key's token signs the digest. RSA with PKCS #1 v1.5 or PSS as the TLS layer
// asks (PSS with the salt as long as the digest and MGF1 of the same hash, as
// TLS uses it), ECDSA. Every function answers OpenSSL in its own terms and
// lets no exception through.
#include "certificates/ProviderKey.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/params.h>
#include <openssl/rsa.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

namespace cto::nss::provider {

namespace {

using Digest = std::unique_ptr<EVP_MD, openssl::Deleter<EVP_MD_free>>;
using Hashing = std::unique_ptr<EVP_MD_CTX, openssl::Deleter<EVP_MD_CTX_free>>;

struct SignatureContext {
    const KeyData* key = nullptr; // OpenSSL keeps the key alive while the operation lives
    Digest digest;
    Hashing hashing; // while a message is being signed
    int padding = RSA_PKCS1_PADDING;
    int saltLength = RSA_PSS_SALTLEN_DIGEST;
    int mgf1Nid = NID_undef; // none: the digest's
};

SignatureContext* contextOf(void* context) {
    return static_cast<SignatureContext*>(context);
}

int fail(const char* reason) {
    ERR_raise_data(ERR_LIB_PROV, ERR_R_OPERATION_FAIL, "%s", reason);
    return 0;
}

Digest fetchDigest(const char* name) {
    return Digest(EVP_MD_fetch(nullptr, name, nullptr));
}

void* newContext(void*, const char*) noexcept {
    return new (std::nothrow) SignatureContext;
}

void freeContext(void* context) noexcept {
    delete contextOf(context);
}

void* duplicateContext(void* context) noexcept {
    const SignatureContext* original = contextOf(context);
    std::unique_ptr<SignatureContext> copy(new (std::nothrow) SignatureContext);
    if (!copy)
        return nullptr;
    copy->key = original->key;
    copy->padding = original->padding;
    copy->saltLength = original->saltLength;
    copy->mgf1Nid = original->mgf1Nid;
    if (original->digest && EVP_MD_up_ref(original->digest.get()) == 1)
        copy->digest.reset(original->digest.get());
    if (original->hashing) {
        copy->hashing.reset(EVP_MD_CTX_new());
        if (!copy->hashing || EVP_MD_CTX_copy_ex(copy->hashing.get(), original->hashing.get()) != 1)
            return nullptr;
    }
    return copy.release();
}

// The TLS layer sets the padding as a number, other callers as a name;
// both are taken. Anything but PKCS #1 v1.5 and PSS is refused.
bool takePadding(const OSSL_PARAM& parameter, int& padding) {
    if (parameter.data_type == OSSL_PARAM_UTF8_STRING) {
        const char* name = nullptr;
        if (OSSL_PARAM_get_utf8_string_ptr(&parameter, &name) != 1)
            return false;
        padding = std::strcmp(name, OSSL_PKEY_RSA_PAD_MODE_PKCSV15) == 0 ? RSA_PKCS1_PADDING
                  : std::strcmp(name, OSSL_PKEY_RSA_PAD_MODE_PSS) == 0   ? RSA_PKCS1_PSS_PADDING
                                                                         : -1;
    } else if (OSSL_PARAM_get_int(&parameter, &padding) != 1) {
        return false;
    }
    return padding == RSA_PKCS1_PADDING || padding == RSA_PKCS1_PSS_PADDING;
}

bool takeSaltLength(const OSSL_PARAM& parameter, int& length) {
    if (parameter.data_type != OSSL_PARAM_UTF8_STRING)
        return OSSL_PARAM_get_int(&parameter, &length) == 1;
    const char* text = nullptr;
    if (OSSL_PARAM_get_utf8_string_ptr(&parameter, &text) != 1)
        return false;
    if (std::strcmp(text, OSSL_PKEY_RSA_PSS_SALT_LEN_DIGEST) == 0) {
        length = RSA_PSS_SALTLEN_DIGEST;
        return true;
    }
    // "max" and "auto" would need a length the token is not asked for.
    char* end = nullptr;
    length = int(std::strtol(text, &end, 10));
    return end != text && *end == '\0';
}

int setParameters(void* context, const OSSL_PARAM parameters[]) noexcept {
    SignatureContext* signature = contextOf(context);
    for (const OSSL_PARAM* parameter = parameters; parameter && parameter->key; ++parameter) {
        const std::string_view key = parameter->key;
        if (key == OSSL_SIGNATURE_PARAM_PAD_MODE) {
            if (!takePadding(*parameter, signature->padding))
                return fail("padding that a key kept in NSS does not sign with");
        } else if (key == OSSL_SIGNATURE_PARAM_PSS_SALTLEN) {
            if (!takeSaltLength(*parameter, signature->saltLength))
                return fail("PSS salt length that a key kept in NSS does not sign with");
        } else if (key == OSSL_SIGNATURE_PARAM_MGF1_DIGEST || key == OSSL_SIGNATURE_PARAM_DIGEST) {
            const char* name = nullptr;
            if (OSSL_PARAM_get_utf8_string_ptr(parameter, &name) != 1)
                return 0;
            Digest digest = fetchDigest(name);
            if (!digest)
                return 0;
            if (key == OSSL_SIGNATURE_PARAM_MGF1_DIGEST)
                signature->mgf1Nid = EVP_MD_get_type(digest.get());
            else
                signature->digest = std::move(digest);
        }
    }
    return 1;
}

const OSSL_PARAM kSettable[] = {
    OSSL_PARAM_utf8_string(OSSL_SIGNATURE_PARAM_PAD_MODE, nullptr, 0),
    OSSL_PARAM_utf8_string(OSSL_SIGNATURE_PARAM_PSS_SALTLEN, nullptr, 0),
    OSSL_PARAM_utf8_string(OSSL_SIGNATURE_PARAM_MGF1_DIGEST, nullptr, 0),
    OSSL_PARAM_utf8_string(OSSL_SIGNATURE_PARAM_DIGEST, nullptr, 0),
    OSSL_PARAM_END,
};

const OSSL_PARAM* settableParameters(void*, void*) noexcept {
    return kSettable;
}

int signInit(void* context, void* key, const OSSL_PARAM parameters[]) noexcept {
    SignatureContext* signature = contextOf(context);
    signature->key = static_cast<const KeyData*>(key);
    if (!signature->key || !signature->key->signer)
        return fail("a key kept in NSS without its private half");
    return setParameters(context, parameters);
}

// The digest signed by the key's token, into the caller's buffer; asked
// without a buffer, the largest signature the key makes.
int signDigest(SignatureContext& context, unsigned char* signature, std::size_t* signatureLength,
               std::size_t room, const unsigned char* digest, std::size_t digestLength) {
    const KeyData* key = context.key;
    if (!key || !key->signer)
        return fail("no key kept in NSS to sign with");
    const int largest = EVP_PKEY_get_size(key->publicKey.get());
    if (!signature) {
        *signatureLength = static_cast<std::size_t>(largest);
        return 1;
    }
    const int hashNid = context.digest ? EVP_MD_get_type(context.digest.get()) : NID_undef;
    RsaPadding padding = RsaPadding::Pkcs1;
    if (key->signer->isRsa() && context.padding == RSA_PKCS1_PSS_PADDING) {
        const bool saltAsDigest = context.saltLength == RSA_PSS_SALTLEN_DIGEST ||
                                  context.saltLength == static_cast<int>(digestLength);
        if (!saltAsDigest || (context.mgf1Nid != NID_undef && context.mgf1Nid != hashNid))
            return fail("PSS parameters that a key kept in NSS does not sign with");
        padding = RsaPadding::Pss;
    }
    const std::vector<unsigned char> made =
        key->signer->sign(hashNid, std::span(digest, digestLength), padding);
    if (made.empty())
        return fail("the token that keeps the key did not sign");
    if (made.size() > room)
        return fail("signature longer than the room given for it");
    std::memcpy(signature, made.data(), made.size());
    *signatureLength = made.size();
    return 1;
}

int sign(void* context, unsigned char* signature, std::size_t* signatureLength, std::size_t room,
         const unsigned char* digest, std::size_t digestLength) noexcept {
    return signDigest(*contextOf(context), signature, signatureLength, room, digest, digestLength);
}

int digestSignInit(void* context, const char* digestName, void* key, const OSSL_PARAM parameters[]) noexcept {
    if (signInit(context, key, parameters) != 1)
        return 0;
    SignatureContext* signature = contextOf(context);
    signature->digest = fetchDigest(digestName ? digestName : "SHA256");
    signature->hashing.reset(EVP_MD_CTX_new());
    return signature->digest && signature->hashing &&
           EVP_DigestInit_ex2(signature->hashing.get(), signature->digest.get(), nullptr) == 1;
}

int digestSignUpdate(void* context, const unsigned char* data, std::size_t length) noexcept {
    SignatureContext* signature = contextOf(context);
    return signature->hashing && EVP_DigestUpdate(signature->hashing.get(), data, length) == 1;
}

int digestSignFinal(void* context, unsigned char* signature, std::size_t* signatureLength,
                    std::size_t room) noexcept {
    SignatureContext* state = contextOf(context);
    if (!signature)
        return signDigest(*state, nullptr, signatureLength, room, nullptr, 0);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (!state->hashing || EVP_DigestFinal_ex(state->hashing.get(), digest, &digestLength) != 1)
        return 0;
    return signDigest(*state, signature, signatureLength, room, digest, digestLength);
}

int digestSign(void* context, unsigned char* signature, std::size_t* signatureLength, std::size_t room,
               const unsigned char* message, std::size_t messageLength) noexcept {
    SignatureContext* state = contextOf(context);
    if (!signature)
        return signDigest(*state, nullptr, signatureLength, room, nullptr, 0);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (!state->digest ||
        EVP_Digest(message, messageLength, digest, &digestLength, state->digest.get(), nullptr) != 1)
        return 0;
    return signDigest(*state, signature, signatureLength, room, digest, digestLength);
}

} // namespace

const OSSL_DISPATCH signature[] = {
    {OSSL_FUNC_SIGNATURE_NEWCTX, dispatchEntry(newContext)},
    {OSSL_FUNC_SIGNATURE_FREECTX, dispatchEntry(freeContext)},
    {OSSL_FUNC_SIGNATURE_DUPCTX, dispatchEntry(duplicateContext)},
    {OSSL_FUNC_SIGNATURE_SIGN_INIT, dispatchEntry(signInit)},
    {OSSL_FUNC_SIGNATURE_SIGN, dispatchEntry(sign)},
    {OSSL_FUNC_SIGNATURE_DIGEST_SIGN_INIT, dispatchEntry(digestSignInit)},
    {OSSL_FUNC_SIGNATURE_DIGEST_SIGN_UPDATE, dispatchEntry(digestSignUpdate)},
    {OSSL_FUNC_SIGNATURE_DIGEST_SIGN_FINAL, dispatchEntry(digestSignFinal)},
    {OSSL_FUNC_SIGNATURE_DIGEST_SIGN, dispatchEntry(digestSign)},
    {OSSL_FUNC_SIGNATURE_SET_CTX_PARAMS, dispatchEntry(setParameters)},
    {OSSL_FUNC_SIGNATURE_SETTABLE_CTX_PARAMS, dispatchEntry(settableParameters)},
    {0, nullptr},
};

} // namespace cto::nss::provider
