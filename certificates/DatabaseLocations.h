#pragma once

#include <QString>

#include <vector>

namespace cto {

// Where the user's certificate databases are, in the order they are read.
struct DatabaseLocation {
    QString label;     // where the user knows it from: "Chromium / escritorio", "Firefox, perfil …"
    QString directory; // absolute
};

struct DatabasePlan {
    std::vector<DatabaseLocation> databases;
    // The modules that the system's p11-kit configuration registers are read
    // too (not when CTO_NSS_DATABASE names one database alone).
    bool systemModules = true;
};

// The label of the user's shared database, and of the one CTO_NSS_DATABASE names instead.
inline constexpr char kSharedDatabaseLabel[] = "Chromium / escritorio";

// With CTO_NSS_DATABASE set: that database alone, whether or not it exists
// (opening a missing one is a failure the user must hear of). Otherwise, of
// these, the ones that hold a cert9.db (each directory once, however reached):
//   1. ~/.pki/nssdb, the desktop's shared database;
//   2. the Firefox profiles of ~/.mozilla/firefox, of the snap and of the flatpak;
//   3. the Thunderbird profiles of ~/.thunderbird, of the snap and of the flatpaks;
// the profiles of each folder as its profiles.ini lists them, the default first.
// Profiles still in the old format (cert8.db alone) are left out.
DatabasePlan plannedDatabases();

// The folder of the NSS database the desktop shares: the one that
// $CTO_NSS_DATABASE names (with or without NSS's "sql:"), or $HOME/.pki/nssdb
// when that is unset or empty; absolute.
QString personalStoreDirectory();

} // namespace cto
