#include "certificates/DatabaseLocations.h"

#include "certificates/ProfilesIni.h"

#include <QDir>
#include <QFileInfo>

#include <set>

namespace cto {

namespace {

constexpr char sqlPrefix[] = "sql:";

// The profile folders of one program, each one where a kind of installation keeps it.
struct ProfileFolders {
    const char* program;
    std::vector<const char*> folders; // relative to the home directory
};

const ProfileFolders kProfilePrograms[] = {
    {"Firefox",
     {".mozilla/firefox", "snap/firefox/common/.mozilla/firefox",
      ".var/app/org.mozilla.firefox/.mozilla/firefox"}},
    {"Thunderbird",
     {".thunderbird", "snap/thunderbird/common/.thunderbird", ".var/app/org.mozilla.Thunderbird/.thunderbird",
      ".var/app/net.thunderbird.Thunderbird/.thunderbird"}},
};

class PlanBuilder {
public:
    // Adds the database at directory unless it has none or was added already.
    void add(QString label, const QString& directory) {
        const QFileInfo database(QDir(directory).filePath(QStringLiteral("cert9.db")));
        if (!database.isFile() || !seen_.insert(QFileInfo(directory).canonicalFilePath()).second)
            return;
        plan_.databases.push_back({std::move(label), QDir::cleanPath(directory)});
    }
    DatabasePlan take() { return std::move(plan_); }

private:
    DatabasePlan plan_;
    std::set<QString> seen_;
};

} // namespace

DatabasePlan plannedDatabases() {
    const QString location = personalStoreLocation();
    const QString shared = location.mid(int(sizeof sqlPrefix) - 1);
    if (!qEnvironmentVariable("CTO_NSS_DATABASE").isEmpty())
        return {{{QString::fromUtf8(kSharedDatabaseLabel), shared}}, false};

    PlanBuilder plan;
    plan.add(QString::fromUtf8(kSharedDatabaseLabel), shared);
    const QDir home(QDir::homePath());
    for (const ProfileFolders& program : kProfilePrograms) {
        for (const char* folder : program.folders) {
            for (const nss::MozillaProfile& profile :
                 nss::profilesListedIn(home.filePath(QLatin1String(folder))))
                plan.add(QStringLiteral("%1, perfil %2").arg(QLatin1String(program.program), profile.name),
                         profile.directory);
        }
    }
    return plan.take();
}

QString personalStoreLocation() {
    QString directory = qEnvironmentVariable("CTO_NSS_DATABASE");
    if (directory.startsWith(QLatin1String(sqlPrefix)))
        directory = directory.mid(int(sizeof sqlPrefix) - 1);
    if (directory.isEmpty())
        directory = QDir::homePath() + QStringLiteral("/.pki/nssdb");
    return QLatin1String(sqlPrefix) + QDir::cleanPath(QDir(directory).absolutePath());
}

} // namespace cto
