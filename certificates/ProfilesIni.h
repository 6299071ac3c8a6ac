#pragma once

#include <QString>

#include <vector>

namespace cto::nss {

// One profile of a browser or mail program of the Mozilla family.
struct MozillaProfile {
    QString name;      // as the profile manager shows it (Name=)
    QString directory; // absolute, where its cert9.db and key4.db live
};

// The profiles that <folder>/profiles.ini lists, the default one first: the
// one that an [Install…] section names as its Default=, else the one marked
// Default=1; the others follow in the file's numbering (Profile0, Profile1…).
// A folder without profiles.ini, or one that lists nothing, gives nothing.
std::vector<MozillaProfile> profilesListedIn(const QString& folder);

} // namespace cto::nss
