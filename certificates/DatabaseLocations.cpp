#include "certificates/DatabaseLocations.h"

#include "certificates/NssDatabase.h"
#include "certificates/ProfilesIni.h"

#include <QDir>
#include <QFileInfo>

#include <set>

namespace cto {

namespace {

// Where one kind of installation keeps a program's profiles, relative to the
// home directory, and how a row names it: two installations may each have a
// profile called "default-release".
struct ProfileFolder {
    const char* folder;
    const char* installation; // "" for the distribution's own package
};

struct ProfileFolders {
    const char* program;
    std::vector<ProfileFolder> folders;
};

const ProfileFolders kProfilePrograms[] = {
    {"Firefox",
     {{".mozilla/firefox", ""},
      {"snap/firefox/common/.mozilla/firefox", " (snap)"},
      {".var/app/org.mozilla.firefox/.mozilla/firefox", " (flatpak)"}}},
    {"Thunderbird",
     {{".thunderbird", ""},
      {"snap/thunderbird/common/.thunderbird", " (snap)"},
      {".var/app/org.mozilla.Thunderbird/.thunderbird", " (flatpak)"},
      {".var/app/net.thunderbird.Thunderbird/.thunderbird", " (flatpak)"}}},
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
        for (const ProfileFolder& folder : program.folders) {
            const QString source = QLatin1String(program.program) + QLatin1String(folder.installation) +
                                   QStringLiteral(", perfil ");
            for (const nss::MozillaProfile& profile :
                 nss::profilesListedIn(home.filePath(QLatin1String(folder.folder))))
                plan.add(source + profile.name, profile.directory);
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
