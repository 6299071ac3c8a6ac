#include "certificates/ProbeCache.h"

#include "common/Exception.h"
#include "common/ReplacementFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace cto {

namespace {

// The file's size and modification time, or nothing when it is gone.
std::optional<std::pair<qint64, qint64>> stampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::pair<qint64, qint64>(info.st_size,
                                     qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec);
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
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 5)
            continue;
        entries_.push_back({QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]),
                            QString::fromUtf8(fields[2]), fields[3].toLongLong(), fields[4].toLongLong()});
    }
}

std::optional<QString> ProbeCache::passed(const ModuleRegistration& registration) const {
    for (const Entry& entry : entries_) {
        if (entry.library != registration.library || entry.parameters != registration.parameters)
            continue;
        // A path whose link now leads to another library is another module.
        if (registration.library.contains(QLatin1Char('/')) &&
            QFileInfo(registration.library).canonicalFilePath() != entry.realPath)
            return std::nullopt;
        const auto stamp = stampOf(entry.realPath);
        if (stamp && stamp->first == entry.size && stamp->second == entry.modified)
            return entry.realPath;
        return std::nullopt;
    }
    return std::nullopt;
}

void ProbeCache::remember(const ModuleRegistration& registration, const QString& realPath) {
    const auto stamp = stampOf(realPath);
    const auto awkward = [](const QString& text) {
        return text.contains(QLatin1Char('\t')) || text.contains(QLatin1Char('\n'));
    };
    if (!stamp || awkward(registration.library) || awkward(registration.parameters) || awkward(realPath))
        return; // a line of the file could not hold it
    std::erase_if(entries_, [&](const Entry& entry) {
        return entry.library == registration.library && entry.parameters == registration.parameters;
    });
    entries_.push_back(
        {registration.library, registration.parameters, realPath, stamp->first, stamp->second});
    QByteArray text;
    for (const Entry& entry : entries_)
        text += entry.library.toUtf8() + '\t' + entry.parameters.toUtf8() + '\t' + entry.realPath.toUtf8() +
                '\t' + QByteArray::number(entry.size) + '\t' + QByteArray::number(entry.modified) + '\n';
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
