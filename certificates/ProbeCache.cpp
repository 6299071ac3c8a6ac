#include "certificates/ProbeCache.h"

#include "common/Exception.h"
#include "common/ReplacementFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace cto {

namespace {

qint64 nanoseconds(const timespec& time) {
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// What tells one library file from another at the same path: the file
// itself (device and inode), its size, its modification time, which `touch`
// can set back, and its change time, which nothing but the kernel sets and
// every write, rename or `touch` moves on. Nothing when the file is gone.
std::optional<ProbeCache::FileIdentity> identityOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return ProbeCache::FileIdentity{qint64(info.st_dev), qint64(info.st_ino), qint64(info.st_size),
                                    nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
}

} // namespace

QString ProbeCache::filePath() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/ConexionTulvaOskel/modulos-pkcs11");
}

ProbeCache& ProbeCache::instance() {
    static ProbeCache cache;
    return cache;
}

ProbeCache::ProbeCache() {
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        // A pass has eight fields, a failure a ninth, what the probe saw. A
        // line of an older cache, without the whole identity, is left out:
        // its module is probed again.
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 8 && fields.size() != 9)
            continue;
        entries_.push_back({QString::fromUtf8(fields[0]),
                            QString::fromUtf8(fields[1]),
                            QString::fromUtf8(fields[2]),
                            {fields[3].toLongLong(), fields[4].toLongLong(), fields[5].toLongLong(),
                             fields[6].toLongLong(), fields[7].toLongLong()},
                            fields.size() == 8,
                            fields.size() == 9 ? QString::fromUtf8(fields[8]) : QString()});
    }
}

std::optional<ProbeCache::Remembered> ProbeCache::recalled(const ModuleRegistration& registration) const {
    const std::lock_guard lock(mutex_);
    for (const Entry& entry : entries_) {
        if (entry.library != registration.library || entry.parameters != registration.parameters)
            continue;
        // A path whose link now leads to another library is another module.
        if (registration.library.contains(QLatin1Char('/')) &&
            QFileInfo(registration.library).canonicalFilePath() != entry.realPath)
            return std::nullopt;
        if (identityOf(entry.realPath) == entry.identity)
            return Remembered{entry.passed, entry.realPath, entry.detail};
        return std::nullopt;
    }
    return std::nullopt;
}

void ProbeCache::rememberPass(const ModuleRegistration& registration, const QString& realPath) {
    remember({registration.library, registration.parameters, realPath, {}, true, {}});
}

void ProbeCache::rememberFailure(const ModuleRegistration& registration, const QString& realPath,
                                 const QString& detail) {
    QString oneLine = detail;
    oneLine.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    remember({registration.library, registration.parameters, realPath, {}, false, oneLine});
}

void ProbeCache::remember(Entry added) {
    const std::optional<FileIdentity> identity = identityOf(added.realPath);
    const auto awkward = [](const QString& text) {
        return text.contains(QLatin1Char('\t')) || text.contains(QLatin1Char('\n'));
    };
    if (!identity || awkward(added.library) || awkward(added.parameters) || awkward(added.realPath))
        return; // a line of the file could not hold it
    added.identity = *identity;
    const std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& entry) {
        return entry.library == added.library && entry.parameters == added.parameters;
    });
    entries_.push_back(std::move(added));
    QByteArray text;
    for (const Entry& entry : entries_) {
        const FileIdentity& file = entry.identity;
        text += entry.library.toUtf8() + '\t' + entry.parameters.toUtf8() + '\t' + entry.realPath.toUtf8();
        for (const qint64 field : {file.device, file.inode, file.size, file.modified, file.changed})
            text += '\t' + QByteArray::number(field);
        if (!entry.passed)
            text += '\t' + entry.detail.toUtf8();
        text += '\n';
    }
    const QString path = filePath();
    if (!QDir().mkpath(QFileInfo(path).path()))
        return;
    try {
        replaceWholeFile(QFile::encodeName(path).toStdString(),
                         std::string_view(text.constData(), text.size()));
    } catch (const Exception&) {
        // Nothing lost but time: the module is probed again next run.
    }
}

} // namespace cto
