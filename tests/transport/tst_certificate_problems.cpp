#include "support/TestMain.h"
#include "transport/CertificateProblems.h"
#include "transport/RequestFlags.h"

#include <openssl/x509_vfy.h>

#include <QTest>

using namespace cto::http;

// The error number a refusal fails with is what the error policy reacts to, and
// the flag is what it must add for the next attempt to get past the refusal.
class TestCertificateProblems : public QObject {
    Q_OBJECT

private slots:
    void errorAndToleratingFlag_data();
    void errorAndToleratingFlag();
};

void TestCertificateProblems::errorAndToleratingFlag_data() {
    QTest::addColumn<long>("verifyError");
    QTest::addColumn<uint>("error");
    QTest::addColumn<uint>("flag");
    QTest::newRow("self-signed in chain")
        << long(X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN) << 12045u << uint(kIgnoreUnknownCa);
    QTest::newRow("no revocation list")
        << long(X509_V_ERR_UNABLE_TO_GET_CRL) << 12057u << uint(kIgnoreRevocation);
    QTest::newRow("expired") << long(X509_V_ERR_CERT_HAS_EXPIRED) << 12037u << uint(kIgnoreCertDateInvalid);
    QTest::newRow("other host") << long(X509_V_ERR_HOSTNAME_MISMATCH) << 12038u
                                << uint(kIgnoreCertNameInvalid);
    QTest::newRow("revoked: never tolerated") << long(X509_V_ERR_CERT_REVOKED) << 12170u << 0u;
    QTest::newRow("bad signature: never tolerated")
        << long(X509_V_ERR_CERT_SIGNATURE_FAILURE) << 12169u << 0u;
}

void TestCertificateProblems::errorAndToleratingFlag() {
    QFETCH(long, verifyError);
    QFETCH(uint, error);
    QFETCH(uint, flag);
    const CertificateProblem problem = certificateProblem(verifyError);
    QCOMPARE(uint(problem.error), error);
    QCOMPARE(uint(problem.toleratingFlag), flag);
}

CTO_TEST_GUILESS_MAIN(TestCertificateProblems)
#include "tst_certificate_problems.moc"
