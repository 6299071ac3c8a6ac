#include "certificates/ModuleRegistration.h"

#include <QDir>
#include <QFile>

namespace cto {

namespace {

// A value as the file holds it: bare, or quoted with backslash escapes.
QString unquoted(const QString& value) {
    if (value.size() < 2 || !value.startsWith(QLatin1Char('"')) || !value.endsWith(QLatin1Char('"')))
        return value;
    QString text;
    bool escaped = false;
    for (const QChar character : QStringView(value).mid(1, value.size() - 2)) {
        if (!escaped && character == QLatin1Char('\\')) {
            escaped = true;
            continue;
        }
        escaped = false;
        text += character;
    }
    return text;
}

} // namespace

std::vector<ModuleRegistration> modulesRegisteredIn(const QString& directory) {
    std::vector<ModuleRegistration> modules;
    QFile file(QDir(directory).filePath(QStringLiteral("pkcs11.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return modules;
    // Entries are runs of "key=value" lines separated by blank lines.
    ModuleRegistration entry;
    const auto finishEntry = [&modules, &entry] {
        // The internal module (the database itself) names no library.
        if (!entry.library.isEmpty())
            modules.push_back(entry);
        entry = {};
    };
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty()) {
            finishEntry();
            continue;
        }
        if (line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1String("library=")))
            entry.library = unquoted(line.mid(8));
        else if (line.startsWith(QLatin1String("name=")))
            entry.name = unquoted(line.mid(5));
        else if (line.startsWith(QLatin1String("parameters=")))
            entry.parameters = unquoted(line.mid(11));
        else if (line.startsWith(QLatin1String("NSS=")))
            entry.nssOptions = unquoted(line.mid(4));
    }
    finishEntry();
    return modules;
}

} // namespace cto
