#include "certificates/ModuleRegistration.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <map>

#include <unistd.h>

namespace cto {

namespace {

using Settings = QHash<QString, QString>;

// "name: value" lines; '#' starts a comment line. A file that cannot be
// read holds nothing, as p11-kit passes over a missing or forbidden one.
Settings readSettings(const QString& path) {
    Settings settings;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return settings;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            return {}; // p11-kit refuses the whole file
        settings.insert(line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
    }
    return settings;
}

enum class UserConfig { None, Merge, Only };

UserConfig userConfigOf(const Settings& settings, UserConfig fallback) {
    const QString mode = settings.value(QStringLiteral("user-config"));
    if (mode == QLatin1String("none"))
        return UserConfig::None;
    if (mode == QLatin1String("merge"))
        return UserConfig::Merge;
    if (mode == QLatin1String("only") || mode == QLatin1String("override"))
        return UserConfig::Only;
    return fallback;
}

// The module files of a folder, by the name they register ("x.module" is "x");
// a setting already read from an earlier folder stands.
void addModuleFiles(const QString& folder, std::map<QString, Settings>& modules) {
    static const QRegularExpression moduleFile(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9_.-]*\\.module$"));
    const QDir directory(folder);
    for (const QString& file : directory.entryList(QDir::Files | QDir::Readable, QDir::Name)) {
        if (!moduleFile.match(file).hasMatch())
            continue;
        Settings& known = modules[file.chopped(7)];
        const Settings read = readSettings(directory.filePath(file));
        for (auto setting = read.cbegin(); setting != read.cend(); ++setting) {
            if (!known.contains(setting.key()))
                known.insert(setting.key(), setting.value());
        }
    }
}

bool listed(const QString& list, const QString& program) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    return list.split(separators, Qt::SkipEmptyParts).contains(program);
}

bool enabledFor(const Settings& module, const QString& program) {
    const auto enableIn = module.constFind(QStringLiteral("enable-in"));
    const auto disableIn = module.constFind(QStringLiteral("disable-in"));
    // With both lists, p11-kit follows enable-in alone.
    if (enableIn != module.cend())
        return listed(*enableIn, program);
    return disableIn == module.cend() || !listed(*disableIn, program);
}

} // namespace

std::vector<ModuleRegistration> p11KitRegistrations(const QString& program) {
    const QString home = QDir::homePath();
    UserConfig mode =
        userConfigOf(readSettings(QStringLiteral(CTO_P11_KIT_SYSTEM_CONFIG)), UserConfig::Merge);
    // p11-kit reads no user's files for the superuser.
    if (::getuid() == 0)
        mode = UserConfig::None;
    if (mode != UserConfig::None)
        mode = userConfigOf(readSettings(home + QStringLiteral("/.config/pkcs11/pkcs11.conf")), mode);

    std::map<QString, Settings> modules;
    if (mode != UserConfig::None)
        addModuleFiles(home + QStringLiteral("/.config/pkcs11/modules"), modules);
    if (mode != UserConfig::Only) {
        addModuleFiles(QStringLiteral(CTO_P11_KIT_SYSTEM_MODULES), modules);
        addModuleFiles(QStringLiteral(CTO_P11_KIT_PACKAGE_MODULES), modules);
    }

    std::vector<ModuleRegistration> registrations;
    for (const auto& [name, module] : modules) {
        QString library = module.value(QStringLiteral("module"));
        // A remote module runs elsewhere; a trust-policy one holds authorities, no one's keys.
        if (library.isEmpty() || module.contains(QStringLiteral("remote")) ||
            module.value(QStringLiteral("trust-policy")) == QLatin1String("yes") ||
            !enabledFor(module, program))
            continue;
        if (!QDir::isAbsolutePath(library))
            library = QStringLiteral(CTO_P11_KIT_MODULE_PATH "/") + library;
        registrations.push_back({name, library, {}, {}});
    }
    return registrations;
}

} // namespace cto
