#include "certificates/ProfilesIni.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <map>
#include <optional>

namespace cto::nss {

namespace {

using Section = std::map<QString, QString>;

// The sections of an INI file in the order they appear, each with its keys.
// Blank lines and comments (';' or '#') are skipped; keys and values are
// trimmed, as the profile manager itself reads them.
std::vector<std::pair<QString, Section>> readIni(const QString& path) {
    std::vector<std::pair<QString, Section>> sections;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return sections;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            sections.emplace_back(line.mid(1, line.size() - 2).trimmed(), Section());
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || sections.empty())
            continue;
        sections.back().second[line.left(equals).trimmed()] = line.mid(equals + 1).trimmed();
    }
    return sections;
}

QString valueOf(const Section& section, const char* key) {
    const auto found = section.find(QLatin1String(key));
    return found == section.end() ? QString() : found->second;
}

// A profile's path: relative to the folder of profiles.ini when so marked;
// without the mark, relative unless it is absolute.
QString resolvedDirectory(const QString& folder, const QString& path, const QString& isRelative) {
    const bool relative =
        isRelative.isEmpty() ? QDir::isRelativePath(path) : isRelative == QLatin1String("1");
    return QDir::cleanPath(relative ? QDir(folder).filePath(path) : path);
}

// The number N of a [ProfileN] section, or nothing for any other section.
std::optional<int> profileNumber(const QString& section) {
    static const QLatin1String prefix("Profile");
    if (!section.startsWith(prefix))
        return std::nullopt;
    bool ok = false;
    const int number = section.mid(prefix.size()).toInt(&ok);
    return ok && number >= 0 ? std::optional<int>(number) : std::nullopt;
}

} // namespace

std::vector<MozillaProfile> profilesListedIn(const QString& folder) {
    const auto sections = readIni(QDir(folder).filePath(QStringLiteral("profiles.ini")));
    std::vector<std::pair<int, MozillaProfile>> numbered;
    QString installDefault;
    QString markedDefault;
    for (const auto& [name, keys] : sections) {
        if (name.startsWith(QLatin1String("Install"))) {
            // The first installation that names a default decides.
            const QString path = valueOf(keys, "Default");
            if (installDefault.isEmpty() && !path.isEmpty())
                installDefault = resolvedDirectory(folder, path, QString());
            continue;
        }
        const std::optional<int> number = profileNumber(name);
        const QString path = valueOf(keys, "Path");
        if (!number || path.isEmpty())
            continue;
        MozillaProfile profile;
        profile.directory = resolvedDirectory(folder, path, valueOf(keys, "IsRelative"));
        profile.name = valueOf(keys, "Name");
        if (profile.name.isEmpty())
            profile.name = QDir(profile.directory).dirName();
        if (markedDefault.isEmpty() && valueOf(keys, "Default") == QLatin1String("1"))
            markedDefault = profile.directory;
        numbered.emplace_back(*number, std::move(profile));
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });

    const QString defaultDirectory = installDefault.isEmpty() ? markedDefault : installDefault;
    std::vector<MozillaProfile> profiles;
    profiles.reserve(numbered.size());
    for (auto& entry : numbered)
        profiles.push_back(std::move(entry.second));
    const auto isDefault = [&defaultDirectory](const MozillaProfile& profile) {
        return !defaultDirectory.isEmpty() && profile.directory == defaultDirectory;
    };
    std::stable_partition(profiles.begin(), profiles.end(), isDefault);
    return profiles;
}

} // namespace cto::nss
