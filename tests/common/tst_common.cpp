#include "common/ApplicationTitle.h"
#include "common/AsciiText.h"
#include "common/ByteStream.h"
#include "common/DescriptorRoom.h"
#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/SystemErrorText.h"
#include "common/Trim.h"
#include "support/ExpectFailure.h"
#include "support/TestMain.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

using namespace cto;

class TestCommon : public QObject {
    Q_OBJECT

private slots:
    void failureMessageNamesTheKind_data();
    void failureMessageNamesTheKind();
    void applicationTitle_data();
    void applicationTitle();
    void memoryStreamCopiesWhole();
    void shortReadAndWriteFail();
    void fileRoundTripReplacesOldContent();
    void replacementReachesTheDiskBeforeItReplaces();
    void openFailures_data();
    void openFailures();
    void createFailsInMissingFolder();
    void lockedFileCannotBeOpenedOrCreated();
    void expandFileName();
    void asciiCaseIsIgnored_data();
    void asciiCaseIsIgnored();
    void trims_data();
    void trims();
    void controlCharactersAreAsciiOnly();
    void descriptorRoomIsJudgedAgainstTheLimit_data();
    void descriptorRoomIsJudgedAgainstTheLimit();
};

void TestCommon::failureMessageNamesTheKind_data() {
    QTest::addColumn<std::shared_ptr<Exception>>("failure");
    QTest::addColumn<QString>("expected");
    QTest::newRow("EFOpenError") << std::shared_ptr<Exception>(new EFOpenError("m"))
                                 << "EFOpenError error, con el mensaje : m";
    QTest::newRow("EAbort") << std::shared_ptr<Exception>(new EAbort)
                            << "EAbort error, con el mensaje : Operation aborted";
    QTest::newRow("ESOAPHTTPException") << std::shared_ptr<Exception>(new ESOAPHTTPException("x", 404))
                                        << "ESOAPHTTPException error, con el mensaje : x";
    QTest::newRow("EVariantOverflowError") << std::shared_ptr<Exception>(new EVariantOverflowError(""))
                                           << "EVariantOverflowError error, con el mensaje : ";
    QTest::newRow("EOleSysError") << std::shared_ptr<Exception>(new EOleSysError("ü"))
                                  << QString::fromUtf8("EOleSysError error, con el mensaje : ü");
}

void TestCommon::failureMessageNamesTheKind() {
    QFETCH(std::shared_ptr<Exception>, failure);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(failureMessage(*failure)), expected);
}

void TestCommon::applicationTitle_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << "ConexionTulvaOskel"
                           << "Conexiontulvaoskel";
    QTest::newRow("extension") << "ConexionTulvaOskel.exe"
                               << "Conexiontulvaoskel";
    QTest::newRow("first dot") << "Envio.Datos.bin"
                               << "Envio";
    QTest::newRow("lower first stays") << "aBC"
                                       << "abc";
    QTest::newRow("non-ascii") << QString::fromUtf8("ÑANDÚ") << QString::fromUtf8("Ñandú");
    QTest::newRow("leading dot") << ".hidden"
                                 << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestCommon::applicationTitle() {
    QFETCH(QString, fileName);
    QFETCH(QString, title);
    QCOMPARE(cto::applicationTitle(fileName), title);
}

void TestCommon::memoryStreamCopiesWhole() {
    MemoryStream source(std::string("abcdef"));
    source.seek(4); // a copy always starts at the first byte
    MemoryStream target;
    target.copyFrom(source);
    QCOMPARE(target.bytes(), std::string("abcdef"));
    QCOMPARE(target.position(), 6);
}

void TestCommon::shortReadAndWriteFail() {
    MemoryStream source(std::string("abc"));
    char buffer[8];
    CTO_COMPARE_FAILURE(EReadError, source.readBuffer(buffer, 4), "Stream read error");

    // /dev/full accepts the open and refuses every byte, like a full disk.
    FileStream full = FileStream::create("/dev/full");
    CTO_COMPARE_FAILURE(EWriteError, full.writeBuffer("x", 1), "Stream write error");
}

void TestCommon::fileRoundTripReplacesOldContent() {
    QTemporaryDir dir;
    const std::string name = dir.filePath("r.xml").toStdString();
    writeWholeFile(name, "a much longer first content");
    writeWholeFile(name, std::string("\0b\xff", 3));
    QCOMPARE(readWholeFile(name), std::string("\0b\xff", 3));
}

// The order that makes a replacement survive a power cut: the new content
// flushed before it takes the old one's place, and the folder flushed after,
// so that the rename itself is on the disk when the run reports success.
void TestCommon::replacementReachesTheDiskBeforeItReplaces() {
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("encuesta-response.xml"));
    const QString log = folder.filePath(QStringLiteral("llamadas.txt"));
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("earlier receipt");
    old.close();
    QProcess replace;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(CTO_DURABILITY_SHIM));
    environment.insert(QStringLiteral("CTO_DURABILITY_LOG"), log);
    // Under AddressSanitizer the shim may come first in the preload list.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                                           QStringLiteral(":verify_asan_link_order=0"));
    replace.setProcessEnvironment(environment);
    replace.start(QStringLiteral(CTO_REPLACE_FILE), {target, QStringLiteral("new receipt")});
    QVERIFY(replace.waitForFinished(10000));
    QCOMPARE(replace.exitCode(), 0);
    QFile calls(log);
    QVERIFY(calls.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(calls.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // fsync of the new file (unnamed, or hidden beside the target), its
    // name, the rename over the target, the folder's fsync.
    const auto at = [&](const QString& start) {
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].startsWith(start))
                return i;
        return qsizetype(-1);
    };
    const qsizetype fileFlushed = at(QStringLiteral("fsync ") + folder.path() + QStringLiteral("/"));
    const qsizetype renamed = at(QStringLiteral("rename "));
    const qsizetype folderFlushed = lines.indexOf(QStringLiteral("fsync ") + folder.path());
    QVERIFY2(fileFlushed >= 0 && renamed > fileFlushed && folderFlushed > renamed,
             qPrintable(lines.join(" | ")));
    QVERIFY2(lines[renamed].endsWith(QStringLiteral(" ") + target), qPrintable(lines[renamed]));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("new receipt"));
}

void TestCommon::openFailures_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    // Our form, the system's reason in Spanish.
    QTest::newRow("no argument") << ""
                                 << "Cannot open file \"\". No existe el fichero o el directorio";
    QTest::newRow("missing")
        << "/nonexistent/e.xml"
        << "Cannot open file \"/nonexistent/e.xml\". No existe el fichero o el directorio";
    QTest::newRow("relative") << "missing.xml"
                              << "Cannot open file \"" + QDir::currentPath() +
                                     "/missing.xml\". No existe el fichero o el directorio";
    QTest::newRow("directory") << "/tmp/"
                               << "Cannot open file \"/tmp/\". Es un directorio";
}

void TestCommon::openFailures() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    CTO_COMPARE_FAILURE(EFOpenError, FileStream::openForReading(name.toStdString()), expected);
}

void TestCommon::createFailsInMissingFolder() {
    QTemporaryDir dir;
    const QString name = dir.filePath("datos/e-response.xml");
    CTO_COMPARE_FAILURE(EFCreateError, FileStream::create(name.toStdString()),
                        "Cannot create file \"" + name + "\". No existe el fichero o el directorio");
}

void TestCommon::lockedFileCannotBeOpenedOrCreated() {
    QTemporaryDir dir;
    const QString name = dir.filePath("encuesta.xml");
    writeWholeFile(name.toStdString(), "<e/>");

    // Another process holds the survey, as the program that prepared it may.
    QProcess holder;
    // exec: the process that holds the lock is the one the test kills.
    holder.start("sh", {"-c", "exec 9<\"$0\" && flock -x 9 && exec sleep 30", name});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const int fd = ::open(name.toLocal8Bit().constData(), O_RDONLY);
            const bool taken = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            ::close(fd);
            return taken;
        }(),
        5000);

    // Our own words: the system's ("Resource temporarily unavailable") tell the user nothing.
    const QString busy = QString::fromUtf8("Otro programa está usando el fichero y lo tiene bloqueado");
    CTO_COMPARE_FAILURE(EFOpenError, FileStream::openForReading(name.toStdString()),
                        "Cannot open file \"" + name + "\". " + busy);
    CTO_COMPARE_FAILURE(EFCreateError, FileStream::create(name.toStdString()),
                        "Cannot create file \"" + name + "\". " + busy);
    holder.kill();
    holder.waitForFinished();
    // The refused create must not have cut the file short.
    QCOMPARE(readWholeFile(name.toStdString()), std::string("<e/>"));
}

void TestCommon::expandFileName() {
    QCOMPARE(cto::expandFileName(""), std::string());
    QCOMPARE(cto::expandFileName("/a/./b/../c.xml"), std::string("/a/c.xml"));
    QCOMPARE(QString::fromStdString(cto::expandFileName("datos/e.xml")),
             QDir::currentPath() + "/datos/e.xml");
}

void TestCommon::asciiCaseIsIgnored_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<bool>("equal");
    QTest::addColumn<bool>("startsWith");
    QTest::newRow("header name") << QByteArray("content-TYPE") << QByteArray("Content-Type") << true << true;
    QTest::newRow("longer text") << QByteArray("Content-Type: x") << QByteArray("content-type:") << false
                                 << true;
    QTest::newRow("longer prefix") << QByteArray("Content") << QByteArray("Content-Type") << false << false;
    QTest::newRow("both empty") << QByteArray() << QByteArray() << true << true;
    // Letters differ from their other case by 0x20; so do these, which are no letters.
    QTest::newRow("@ and `") << QByteArray("@") << QByteArray("`") << false << false;
    QTest::newRow("[ and {") << QByteArray("[") << QByteArray("{") << false << false;
    QTest::newRow("non-ASCII letters keep their case")
        << QByteArray("\xc3\x89") << QByteArray("\xc3\xa9") << false << false;
}

void TestCommon::asciiCaseIsIgnored() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, other);
    QFETCH(bool, equal);
    QFETCH(bool, startsWith);
    const std::string_view a(text.constData(), text.size());
    const std::string_view b(other.constData(), other.size());
    QCOMPARE(equalsIgnoringCase(a, b), equal);
    QCOMPARE(equalsIgnoringCase(b, a), equal);
    QCOMPARE(startsWithIgnoringCase(a, b), startsWith);
}

void TestCommon::trims_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("characters");
    QTest::addColumn<QByteArray>("right");
    QTest::addColumn<QByteArray>("both");
    const QByteArray blanks(kBlanks.data(), kBlanks.size());
    const QByteArray lineEnds(kLineEnds.data(), kLineEnds.size());
    QTest::newRow("blanks") << QByteArray(" \t text/xml; a=b \t ") << blanks
                            << QByteArray(" \t text/xml; a=b") << QByteArray("text/xml; a=b");
    QTest::newRow("inner blanks stay")
        << QByteArray("Not  Found") << blanks << QByteArray("Not  Found") << QByteArray("Not  Found");
    QTest::newRow("only blanks") << QByteArray(" \t ") << blanks << QByteArray() << QByteArray();
    QTest::newRow("empty") << QByteArray() << blanks << QByteArray() << QByteArray();
    QTest::newRow("line ends in any order")
        << QByteArray("\nline\n\r\n") << lineEnds << QByteArray("\nline") << QByteArray("line");
    QTest::newRow("other characters stay")
        << QByteArray("a\r\n") << blanks << QByteArray("a\r\n") << QByteArray("a\r\n");
}

void TestCommon::trims() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, characters);
    QFETCH(QByteArray, right);
    QFETCH(QByteArray, both);
    const std::string_view view(text.constData(), text.size());
    const std::string_view set(characters.constData(), characters.size());
    QCOMPARE(QByteArray::fromStdString(std::string(trimRight(view, set))), right);
    QCOMPARE(QByteArray::fromStdString(std::string(trimmed(view, set))), both);
}

void TestCommon::controlCharactersAreAsciiOnly() {
    // The last byte of "ü" is above 0x7f: a signed comparison would take it for a control.
    QCOMPARE(trimRightIf("Fehler \xc3\xbc\x01\x1f\x7f", isAsciiControl), std::string_view("Fehler \xc3\xbc"));
}

void TestCommon::descriptorRoomIsJudgedAgainstTheLimit_data() {
    QTest::addColumn<int>("spare");
    QTest::addColumn<QString>("expected"); // %1 open, %2 the limit, %3 the limit asked for
    const QString start =
        QStringLiteral("El sistema solo permite a este programa tener %2 ficheros y conexiones "
                       "abiertos a la vez (ulimit -n) ");
    const QString end =
        QStringLiteral("; necesita 64 libres más. La encuesta no se ha enviado: suba ese límite a %3 "
                       "o más y vuelva a enviarla.");
    QTest::newRow("64 free") << 64 << QString();
    QTest::newRow("63 free") << 63 << start + QStringLiteral("y ya tiene %1 abiertos") + end;
    // Not even the listing of the open ones can be opened.
    QTest::newRow("none free") << 0 << start + QStringLiteral("y ya no le queda ninguno") + end;
}

// The room is the limit less what is open now, counted afresh each time.
void TestCommon::descriptorRoomIsJudgedAgainstTheLimit() {
    QFETCH(int, spare);
    QFETCH(QString, expected);
    rlimit original{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &original) == 0);
    // Those open below the limit, counted without opening anything; one
    // inherited above it takes none of the numbers left to hand out.
    const auto openBelow = [](int limit) {
        int count = 0;
        for (int descriptor = 0; descriptor < limit; ++descriptor)
            count += ::fcntl(descriptor, F_GETFD) != -1 ? 1 : 0;
        return count;
    };
    int open = openBelow(1024);
    while (openBelow(open + spare) != open)
        open = openBelow(open + spare);
    const rlimit lowered{rlim_t(open + spare), original.rlim_max};
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &lowered) == 0);
    QString message;
    try {
        checkRoomForDescriptors(64);
    } catch (const EFOpenError& failure) {
        message = QString::fromStdString(failure.message());
    }
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &original) == 0);
    expected.replace(QStringLiteral("%1"), QString::number(open))
        .replace(QStringLiteral("%2"), QString::number(open + spare))
        .replace(QStringLiteral("%3"), QString::number(open + 64));
    QCOMPARE(message, expected);
}

CTO_TEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
