#include "certificates/DatabaseLocations.h"

#include "certificates/NssDatabase.h"
#include "certificates/ProfilesIni.h"

#include <QDir>
#include <QFileInfo>

#include <set>

namespace cto {

namespace {

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
    const QString shared = personalStoreDirectory();
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

QString personalStoreDirectory() {
    QString directory = nss::folderOfDatabase(qEnvironmentVariable("CTO_NSS_DATABASE"));
    if (directory.isEmpty())
        directory = QDir::homePath() + QStringLiteral("/.pki/nssdb");
    return QDir::cleanPath(QDir(directory).absolutePath());
}

} // namespace cto
