#include "certificates/SigningProvider.h"

#include "certificates/ProviderKey.h"
#include "certificates/StoreFailures.h"
#include "common/FailureKinds.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>

#include <array>
#include <mutex>
#include <string>

namespace cto::nss {

namespace {

using namespace provider;

// The names are those of OpenSSL's own RSA and EC keys, so that the TLS
// layer, which asks a key what it is by name, treats ours as theirs.
constexpr char kRsaNames[] = "RSA:rsaEncryption:1.2.840.113549.1.1.1";
constexpr char kEcNames[] = "EC:id-ecPublicKey:1.2.840.10045.2.1";

const OSSL_ALGORITHM kKeyManagements[] = {
    {kRsaNames, kProperties, rsaKeyManagement, "RSA key kept in an NSS token"},
    {kEcNames, kProperties, ecKeyManagement, "EC key kept in an NSS token"},
    {nullptr, nullptr, nullptr, nullptr},
};

const OSSL_ALGORITHM kSignatures[] = {
    {kRsaNames, kProperties, signature, "RSA signature made in an NSS token"},
    {"ECDSA", kProperties, signature, "ECDSA signature made in an NSS token"},
    {nullptr, nullptr, nullptr, nullptr},
};

const OSSL_ALGORITHM* queryOperation(void*, int operation, int* noCache) noexcept {
    *noCache = 0;
    switch (operation) {
    case OSSL_OP_KEYMGMT:
        return kKeyManagements;
    case OSSL_OP_SIGNATURE:
        return kSignatures;
    default:
        return nullptr;
    }
}

const OSSL_DISPATCH kProviderFunctions[] = {
    {OSSL_FUNC_PROVIDER_QUERY_OPERATION, dispatchEntry(queryOperation)},
    {0, nullptr},
};

int initialiseProvider(const OSSL_CORE_HANDLE* core, const OSSL_DISPATCH*, const OSSL_DISPATCH** out,
                       void** context) noexcept {
    *out = kProviderFunctions;
    *context = const_cast<OSSL_CORE_HANDLE*>(core);
    return 1;
}

[[noreturn]] void throwOpenSslFailure(const std::string& what) {
    std::array<char, 256> text{};
    ERR_error_string_n(ERR_get_error(), text.data(), text.size());
    ERR_clear_error();
    throw EOleException(what + ": " + trimmedDescription(text.data()));
}

// Once per process. The provider is never unloaded: OpenSSL may call it as
// long as any key of it lives, and the engine module that holds its code is
// never unloaded either.
void registerProvider() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Loading a provider by name ends OpenSSL's fallback to its default
        // provider unless the fallback is kept, which the rest of the program needs.
        if (OSSL_PROVIDER_add_builtin(nullptr, kName, initialiseProvider) != 1 ||
            !OSSL_PROVIDER_try_load(nullptr, kName, 1))
            throwOpenSslFailure("No se pudo registrar el proveedor de las claves guardadas en NSS");
        // Fetches by algorithm name (the server's verification, hashing, other
        // keys) prefer any other provider, so that they never land in ours.
        const std::string preference = std::string("?provider!=") + kName;
        if (EVP_set_default_properties(nullptr, preference.c_str()) != 1)
            throwOpenSslFailure("No se pudo registrar el proveedor de las claves guardadas en NSS");
    });
}

} // namespace

openssl::Key providerKey(EVP_PKEY* publicKey, std::shared_ptr<const KeySigner> signer) {
    registerProvider();
    const char* type = !publicKey                        ? nullptr
                       : EVP_PKEY_is_a(publicKey, "RSA") ? "RSA"
                       : EVP_PKEY_is_a(publicKey, "EC")  ? "EC"
                                                         : nullptr;
    if (!type)
        throw EOleException("La clave del certificado no es RSA ni EC: no puede firmar un saludo TLS");
    KeyData source;
    if (EVP_PKEY_up_ref(publicKey) != 1)
        throwOpenSslFailure("No se puede usar la clave pública del certificado");
    source.publicKey.reset(publicKey);
    source.signer = std::move(signer);
    // Our key management copies what the pointer shows.
    const void* sourcePointer = &source;
    const std::array<OSSL_PARAM, 2> parameters{
        OSSL_PARAM_construct_octet_ptr(kKeyParameter, const_cast<void**>(&sourcePointer), sizeof source),
        OSSL_PARAM_construct_end()};
    const openssl::KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, type, kProperties));
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_KEYPAIR,
                          const_cast<OSSL_PARAM*>(parameters.data())) != 1)
        throwOpenSslFailure("No se pudo crear la clave que firma en NSS");
    return openssl::Key(key);
}

} // namespace cto::nss
