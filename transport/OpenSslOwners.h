#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>
#include <string_view>

namespace cto::openssl {

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* handle) const noexcept { Free(handle); }
};

using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Name = std::unique_ptr<X509_NAME, Deleter<X509_NAME_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using Pkcs12 = std::unique_ptr<PKCS12, Deleter<PKCS12_free>>;
using SslContext = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>>;
using Ssl = std::unique_ptr<SSL, Deleter<SSL_free>>;
using Store = std::unique_ptr<X509_STORE, Deleter<X509_STORE_free>>;

// A read-only memory BIO over bytes that outlive it.
inline Bio memoryBio(std::string_view bytes) {
    return Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

} // namespace cto::openssl
