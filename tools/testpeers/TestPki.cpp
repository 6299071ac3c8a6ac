#include "tools/testpeers/TestPki.h"

#include "common/FileStream.h"
#include "transport/OpenSslOwners.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <stdexcept>
#include <vector>

namespace cto::test {

namespace {

using namespace cto::openssl;

[[noreturn]] void fail(const std::string& what) {
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    throw std::runtime_error("test PKI: " + what + ": " + text);
}

template <typename T> T* check(T* value, const char* what) {
    if (!value)
        fail(what);
    return value;
}

void check(int result, const char* what) {
    if (result <= 0)
        fail(what);
}

Key newKey(bool rsa = false) {
    return Key(rsa ? check(EVP_RSA_gen(2048), "EVP_RSA_gen") : check(EVP_EC_gen("P-256"), "EVP_EC_gen"));
}

void addNameEntry(X509_NAME* name, const char* field, const std::string& value) {
    if (!value.empty())
        check(X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(value.data()),
                                         static_cast<int>(value.size()), -1, 0),
              field);
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    Extension extension(check(X509V3_EXT_conf_nid(nullptr, &context, nid, value), value));
    check(X509_add_ext(certificate, extension.get(), -1), "X509_add_ext");
}

struct Subject {
    std::string commonName;
    std::string organization;
    std::string email;
};

// Serials are random so that certificates of different runs never share
// issuer and serial in a long-lived store.
Certificate newCertificate(const Subject& subject, EVP_PKEY* key, X509* issuer, std::int64_t notBeforeOffset,
                           std::int64_t notAfterOffset) {
    Certificate certificate(check(X509_new(), "X509_new"));
    check(X509_set_version(certificate.get(), X509_VERSION_3), "X509_set_version");
    unsigned char serialBytes[8];
    check(RAND_bytes(serialBytes, sizeof serialBytes), "RAND_bytes");
    serialBytes[0] &= 0x7f;
    serialBytes[0] |= 0x01;
    std::unique_ptr<BIGNUM, Deleter<BN_free>> serial(
        check(BN_bin2bn(serialBytes, sizeof serialBytes, nullptr), "BN_bin2bn"));
    check(BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())), "serial");
    check(X509_gmtime_adj(X509_getm_notBefore(certificate.get()), static_cast<long>(notBeforeOffset)),
          "notBefore");
    check(X509_gmtime_adj(X509_getm_notAfter(certificate.get()), static_cast<long>(notAfterOffset)),
          "notAfter");
    X509_NAME* name = X509_get_subject_name(certificate.get());
    addNameEntry(name, "O", subject.organization);
    addNameEntry(name, "CN", subject.commonName);
    addNameEntry(name, "emailAddress", subject.email);
    check(X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer) : name), "issuer");
    check(X509_set_pubkey(certificate.get(), key), "X509_set_pubkey");
    return certificate;
}

void sign(X509* certificate, EVP_PKEY* key) {
    check(X509_sign(certificate, key, EVP_sha256()), "X509_sign");
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("test PKI: cannot write " + path);
}

template <typename Write> std::string toBytes(Write&& write) {
    Bio bio(check(BIO_new(BIO_s_mem()), "BIO_new"));
    check(write(bio.get()), "write");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string certificatePem(X509* certificate) {
    return toBytes([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate); });
}

std::string keyPem(EVP_PKEY* key) {
    return toBytes(
        [&](BIO* bio) { return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr); });
}

Certificate readCertificate(const std::string& path) {
    const std::string pem = readWholeFile(path);
    Bio bio = memoryBio(pem);
    return Certificate(check(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), "read certificate"));
}

Key readKey(const std::string& path) {
    const std::string pem = readWholeFile(path);
    Bio bio = memoryBio(pem);
    return Key(check(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), "read key"));
}

std::string hexSerial(X509* certificate) {
    std::unique_ptr<BIGNUM, Deleter<BN_free>> serial(
        check(ASN1_INTEGER_to_BN(X509_get_serialNumber(certificate), nullptr), "serial"));
    char* hex = check(BN_bn2hex(serial.get()), "BN_bn2hex");
    std::string text(hex);
    OPENSSL_free(hex);
    return text;
}

} // namespace

std::string readWholeFile(const std::string& path) {
    return cto::readWholeFile(path);
}

TestPki::TestPki() {
    if (!folder_.isValid())
        throw std::runtime_error("test PKI: no temporary folder");
    directory_ = folder_.path().toStdString();
    caCertificatePath_ = directory_ + "/ca.pem";
    caKeyPath_ = directory_ + "/ca-key.pem";

    Key caKey = newKey();
    Certificate ca = newCertificate({"CTO Test CA", "CTO Test", {}}, caKey.get(), nullptr, -2 * 24 * 3600,
                                    10 * 365 * 24 * 3600);
    addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
    sign(ca.get(), caKey.get());

    writeFile(caCertificatePath_, certificatePem(ca.get()));
    writeFile(caKeyPath_, keyPem(caKey.get()));
    const ServerCertificateFiles server = issueServerCertificate({});
    serverCertificatePath_ = server.certificatePath;
    serverKeyPath_ = server.keyPath;
}

ServerCertificateFiles TestPki::issueServerCertificate(const ServerCertificateRequest& request) {
    const Certificate ca = readCertificate(caCertificatePath_);
    const Key caKey = readKey(caKeyPath_);
    Key serverKey = newKey();
    Certificate server =
        newCertificate({"127.0.0.1", {}, {}}, serverKey.get(), request.selfSigned ? nullptr : ca.get(),
                       request.notBeforeOffset, request.notAfterOffset);
    X509* issuer = request.selfSigned ? server.get() : ca.get();
    addExtension(server.get(), issuer, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(server.get(), issuer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    addExtension(server.get(), issuer, NID_ext_key_usage, "serverAuth");
    addExtension(server.get(), issuer, NID_subject_alt_name, request.subjectAltNames.c_str());
    if (!request.selfSigned)
        addExtension(server.get(), issuer, NID_authority_key_identifier, "keyid");
    sign(server.get(), request.selfSigned ? serverKey.get() : caKey.get());

    const std::string stem = directory_ + "/server-" + std::to_string(nextSerial_++);
    ServerCertificateFiles files{stem + ".pem", stem + "-key.pem"};
    writeFile(files.certificatePath, certificatePem(server.get()));
    writeFile(files.keyPath, keyPem(serverKey.get()));
    return files;
}

TestPki::~TestPki() = default;

IssuedCertificate TestPki::issueClientCertificate(const std::string& commonName, std::int64_t notBeforeOffset,
                                                  std::int64_t notAfterOffset,
                                                  const std::string& pkcs12Password) {
    ClientCertificateRequest request;
    request.commonName = commonName;
    request.notBeforeOffset = notBeforeOffset;
    request.notAfterOffset = notAfterOffset;
    request.pkcs12Password = pkcs12Password;
    return issueClientCertificate(request);
}

void TestPki::makeIntermediate() {
    Certificate ca = readCertificate(caCertificatePath_);
    Key caKey = readKey(caKeyPath_);
    Key key = newKey();
    Certificate intermediate = newCertificate({"CTO Test Intermediate CA", "CTO Test", {}}, key.get(),
                                              ca.get(), -2 * 24 * 3600, 5 * 365 * 24 * 3600);
    addExtension(intermediate.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
    addExtension(intermediate.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(intermediate.get(), ca.get(), NID_subject_key_identifier, "hash");
    addExtension(intermediate.get(), ca.get(), NID_authority_key_identifier, "keyid");
    sign(intermediate.get(), caKey.get());
    intermediateCertificatePath_ = directory_ + "/intermediate.pem";
    intermediateKeyPath_ = directory_ + "/intermediate-key.pem";
    writeFile(intermediateCertificatePath_, certificatePem(intermediate.get()));
    writeFile(intermediateKeyPath_, keyPem(key.get()));
}

IssuedCertificate TestPki::issueClientCertificate(const ClientCertificateRequest& request) {
    if (request.viaIntermediate && intermediateCertificatePath_.empty())
        makeIntermediate();
    Certificate root = readCertificate(caCertificatePath_);
    Certificate ca =
        readCertificate(request.viaIntermediate ? intermediateCertificatePath_ : caCertificatePath_);
    Key caKey = readKey(request.viaIntermediate ? intermediateKeyPath_ : caKeyPath_);
    Key key = newKey(request.rsaKey);
    Certificate certificate =
        newCertificate({request.commonName, request.organization, request.email}, key.get(), ca.get(),
                       request.notBeforeOffset, request.notAfterOffset);
    if (request.certificateAuthority) {
        addExtension(certificate.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
        addExtension(certificate.get(), ca.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    } else {
        addExtension(certificate.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
        addExtension(certificate.get(), ca.get(), NID_key_usage, "critical,digitalSignature");
        addExtension(certificate.get(), ca.get(), NID_ext_key_usage, "clientAuth,emailProtection");
    }
    if (!request.email.empty())
        addExtension(certificate.get(), ca.get(), NID_subject_alt_name, ("email:" + request.email).c_str());
    addExtension(certificate.get(), ca.get(), NID_authority_key_identifier, "keyid");
    addExtension(certificate.get(), ca.get(), NID_subject_key_identifier, "hash");
    sign(certificate.get(), caKey.get());

    IssuedCertificate issued;
    const std::string stem = directory_ + "/client-" + std::to_string(nextSerial_++);
    issued.commonName = request.commonName;
    issued.certificatePath = stem + ".pem";
    issued.keyPath = stem + "-key.pem";
    issued.pkcs12Path = stem + ".p12";
    issued.pkcs12Password = request.pkcs12Password;
    issued.serialHex = hexSerial(certificate.get());
    if (request.viaIntermediate)
        issued.intermediatesPath = intermediateCertificatePath_;
    writeFile(issued.certificatePath, certificatePem(certificate.get()));
    writeFile(issued.keyPath, keyPem(key.get()));

    // Triple-DES and a SHA-1 MAC: the PKCS#12 flavour every importer reads.
    struct StackDeleter {
        void operator()(STACK_OF(X509) * stack) const { sk_X509_free(stack); }
    };
    std::unique_ptr<STACK_OF(X509), StackDeleter> chain(check(sk_X509_new_null(), "sk_X509_new_null"));
    if (request.viaIntermediate)
        check(sk_X509_push(chain.get(), ca.get()), "sk_X509_push");
    check(sk_X509_push(chain.get(), root.get()), "sk_X509_push");
    std::string friendlyName = request.commonName;
    Pkcs12 pkcs12(check(PKCS12_create(request.pkcs12Password.c_str(), friendlyName.data(), key.get(),
                                      certificate.get(), chain.get(), NID_pbe_WithSHA1And3_Key_TripleDES_CBC,
                                      NID_pbe_WithSHA1And3_Key_TripleDES_CBC, PKCS12_DEFAULT_ITER, 1, 0),
                        "PKCS12_create"));
    writeFile(issued.pkcs12Path, toBytes([&](BIO* bio) { return i2d_PKCS12_bio(bio, pkcs12.get()); }));
    return issued;
}

} // namespace cto::test
