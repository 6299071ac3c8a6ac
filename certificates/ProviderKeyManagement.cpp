// The key management of the provider of keys kept in NSS: keys that hold a
// public key of OpenSSL's default provider and a signer in NSS, and give
// nothing private away. Every function answers OpenSSL in its own terms and
// lets no exception through.
#include "certificates/ProviderKey.h"

#include <openssl/core_names.h>
#include <openssl/params.h>

#include <memory>
#include <new>

namespace cto::nss::provider {

namespace {

KeyData* keyOf(void* data) {
    return static_cast<KeyData*>(data);
}

const KeyData* keyOf(const void* data) {
    return static_cast<const KeyData*>(data);
}

void* newKey(void*) noexcept {
    return new (std::nothrow) KeyData;
}

void freeKey(void* data) noexcept {
    delete keyOf(data);
}

void* duplicateKey(const void* data, int) noexcept {
    const KeyData* original = keyOf(data);
    std::unique_ptr<KeyData> copy(new (std::nothrow) KeyData);
    if (!copy || !original->publicKey || EVP_PKEY_up_ref(original->publicKey.get()) != 1)
        return nullptr;
    copy->publicKey.reset(original->publicKey.get());
    copy->signer = original->signer;
    return copy.release();
}

int hasKey(const void* data, int selection) noexcept {
    const KeyData* key = keyOf(data);
    if (!key || !key->publicKey)
        return 0;
    return (selection & OSSL_KEYMGMT_SELECT_PRIVATE_KEY) == 0 || key->signer != nullptr;
}

int matchKeys(const void* first, const void* second, int selection) noexcept {
    const KeyData* one = keyOf(first);
    const KeyData* other = keyOf(second);
    if (!one->publicKey || !other->publicKey)
        return 0;
    if (selection & OSSL_KEYMGMT_SELECT_KEYPAIR)
        return EVP_PKEY_eq(one->publicKey.get(), other->publicKey.get()) == 1;
    return EVP_PKEY_parameters_eq(one->publicKey.get(), other->publicKey.get()) == 1;
}

// Either a key made by providerKey(), copied, or a public key that another
// provider exports to be compared with ours: made again by the default provider.
int importKey(void* data, int, const OSSL_PARAM parameters[], const char* defaultName) noexcept {
    KeyData* key = keyOf(data);
    if (const OSSL_PARAM* made = OSSL_PARAM_locate_const(parameters, kKeyParameter)) {
        const void* pointer = nullptr;
        std::size_t size = 0;
        if (OSSL_PARAM_get_octet_ptr(made, &pointer, &size) != 1 || size != sizeof(KeyData))
            return 0;
        const auto* source = static_cast<const KeyData*>(pointer);
        if (!source->publicKey || EVP_PKEY_up_ref(source->publicKey.get()) != 1)
            return 0;
        key->publicKey.reset(source->publicKey.get());
        key->signer = source->signer;
        return 1;
    }
    // Private numbers have no place here.
    if (OSSL_PARAM_locate_const(parameters, OSSL_PKEY_PARAM_RSA_D) ||
        OSSL_PARAM_locate_const(parameters, OSSL_PKEY_PARAM_PRIV_KEY))
        return 0;
    const openssl::KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, defaultName, "provider=default"));
    EVP_PKEY* publicKey = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &publicKey, EVP_PKEY_PUBLIC_KEY,
                          const_cast<OSSL_PARAM*>(parameters)) != 1)
        return 0;
    key->publicKey.reset(publicKey);
    key->signer.reset();
    return 1;
}

int importRsa(void* data, int selection, const OSSL_PARAM parameters[]) noexcept {
    return importKey(data, selection, parameters, "RSA");
}

int importEc(void* data, int selection, const OSSL_PARAM parameters[]) noexcept {
    return importKey(data, selection, parameters, "EC");
}

// The public half only: a request that includes the private key is refused,
// so that OpenSSL never takes a copy of our key for another provider's signature.
int exportKey(void* data, int selection, OSSL_CALLBACK* callback, void* argument) noexcept {
    const KeyData* key = keyOf(data);
    if (!key->publicKey || ((selection & OSSL_KEYMGMT_SELECT_PRIVATE_KEY) && key->signer))
        return 0;
    OSSL_PARAM* made = nullptr;
    if (EVP_PKEY_todata(key->publicKey.get(), EVP_PKEY_PUBLIC_KEY, &made) != 1)
        return 0;
    const std::unique_ptr<OSSL_PARAM, openssl::Deleter<OSSL_PARAM_free>> parameters(made);
    return callback(parameters.get(), argument);
}

// Size, security strength, curve, public numbers: the public key knows them.
int keyParameters(void* data, OSSL_PARAM parameters[]) noexcept {
    const KeyData* key = keyOf(data);
    return key->publicKey && EVP_PKEY_get_params(key->publicKey.get(), parameters) == 1;
}

const OSSL_PARAM kRsaParameters[] = {
    OSSL_PARAM_int(OSSL_PKEY_PARAM_BITS, nullptr),
    OSSL_PARAM_int(OSSL_PKEY_PARAM_SECURITY_BITS, nullptr),
    OSSL_PARAM_int(OSSL_PKEY_PARAM_MAX_SIZE, nullptr),
    OSSL_PARAM_utf8_string(OSSL_PKEY_PARAM_DEFAULT_DIGEST, nullptr, 0),
    OSSL_PARAM_BN(OSSL_PKEY_PARAM_RSA_N, nullptr, 0),
    OSSL_PARAM_BN(OSSL_PKEY_PARAM_RSA_E, nullptr, 0),
    OSSL_PARAM_END,
};

const OSSL_PARAM kEcParameters[] = {
    OSSL_PARAM_int(OSSL_PKEY_PARAM_BITS, nullptr),
    OSSL_PARAM_int(OSSL_PKEY_PARAM_SECURITY_BITS, nullptr),
    OSSL_PARAM_int(OSSL_PKEY_PARAM_MAX_SIZE, nullptr),
    OSSL_PARAM_utf8_string(OSSL_PKEY_PARAM_DEFAULT_DIGEST, nullptr, 0),
    OSSL_PARAM_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, nullptr, 0),
    OSSL_PARAM_utf8_string(OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT, nullptr, 0),
    OSSL_PARAM_octet_string(OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, nullptr, 0),
    OSSL_PARAM_octet_string(OSSL_PKEY_PARAM_PUB_KEY, nullptr, 0),
    OSSL_PARAM_END,
};

const OSSL_PARAM kRsaImports[] = {
    OSSL_PARAM_octet_ptr(kKeyParameter, nullptr, 0),
    OSSL_PARAM_BN(OSSL_PKEY_PARAM_RSA_N, nullptr, 0),
    OSSL_PARAM_BN(OSSL_PKEY_PARAM_RSA_E, nullptr, 0),
    OSSL_PARAM_END,
};

const OSSL_PARAM kEcImports[] = {
    OSSL_PARAM_octet_ptr(kKeyParameter, nullptr, 0),
    OSSL_PARAM_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, nullptr, 0),
    OSSL_PARAM_utf8_string(OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT, nullptr, 0),
    OSSL_PARAM_octet_string(OSSL_PKEY_PARAM_PUB_KEY, nullptr, 0),
    OSSL_PARAM_END,
};

const OSSL_PARAM* rsaParameterTypes(void*) noexcept {
    return kRsaParameters;
}
const OSSL_PARAM* ecParameterTypes(void*) noexcept {
    return kEcParameters;
}
const OSSL_PARAM* rsaImportTypes(int) noexcept {
    return kRsaImports;
}
const OSSL_PARAM* ecImportTypes(int) noexcept {
    return kEcImports;
}
// What is exported is what the default provider would take back.
const OSSL_PARAM* rsaExportTypes(int) noexcept {
    return kRsaImports + 1;
}
const OSSL_PARAM* ecExportTypes(int) noexcept {
    return kEcImports + 1;
}

// The signature that OpenSSL fetches for a key of each kind.
const char* rsaOperationName(int operation) noexcept {
    return operation == OSSL_OP_SIGNATURE ? "RSA" : nullptr;
}
const char* ecOperationName(int operation) noexcept {
    return operation == OSSL_OP_SIGNATURE ? "ECDSA" : nullptr;
}

} // namespace

const OSSL_DISPATCH rsaKeyManagement[] = {
    {OSSL_FUNC_KEYMGMT_NEW, dispatchEntry(newKey)},
    {OSSL_FUNC_KEYMGMT_FREE, dispatchEntry(freeKey)},
    {OSSL_FUNC_KEYMGMT_DUP, dispatchEntry(duplicateKey)},
    {OSSL_FUNC_KEYMGMT_HAS, dispatchEntry(hasKey)},
    {OSSL_FUNC_KEYMGMT_MATCH, dispatchEntry(matchKeys)},
    {OSSL_FUNC_KEYMGMT_IMPORT, dispatchEntry(importRsa)},
    {OSSL_FUNC_KEYMGMT_IMPORT_TYPES, dispatchEntry(rsaImportTypes)},
    {OSSL_FUNC_KEYMGMT_EXPORT, dispatchEntry(exportKey)},
    {OSSL_FUNC_KEYMGMT_EXPORT_TYPES, dispatchEntry(rsaExportTypes)},
    {OSSL_FUNC_KEYMGMT_GET_PARAMS, dispatchEntry(keyParameters)},
    {OSSL_FUNC_KEYMGMT_GETTABLE_PARAMS, dispatchEntry(rsaParameterTypes)},
    {OSSL_FUNC_KEYMGMT_QUERY_OPERATION_NAME, dispatchEntry(rsaOperationName)},
    {0, nullptr},
};

const OSSL_DISPATCH ecKeyManagement[] = {
    {OSSL_FUNC_KEYMGMT_NEW, dispatchEntry(newKey)},
    {OSSL_FUNC_KEYMGMT_FREE, dispatchEntry(freeKey)},
    {OSSL_FUNC_KEYMGMT_DUP, dispatchEntry(duplicateKey)},
    {OSSL_FUNC_KEYMGMT_HAS, dispatchEntry(hasKey)},
    {OSSL_FUNC_KEYMGMT_MATCH, dispatchEntry(matchKeys)},
    {OSSL_FUNC_KEYMGMT_IMPORT, dispatchEntry(importEc)},
    {OSSL_FUNC_KEYMGMT_IMPORT_TYPES, dispatchEntry(ecImportTypes)},
    {OSSL_FUNC_KEYMGMT_EXPORT, dispatchEntry(exportKey)},
    {OSSL_FUNC_KEYMGMT_EXPORT_TYPES, dispatchEntry(ecExportTypes)},
    {OSSL_FUNC_KEYMGMT_GET_PARAMS, dispatchEntry(keyParameters)},
    {OSSL_FUNC_KEYMGMT_GETTABLE_PARAMS, dispatchEntry(ecParameterTypes)},
    {OSSL_FUNC_KEYMGMT_QUERY_OPERATION_NAME, dispatchEntry(ecOperationName)},
    {0, nullptr},
};

} // namespace cto::nss::provider
