#include "certificates/NssDatabase.h"

#include "certificates/StoreFailures.h"

#include <QFileInfo>

#include <prerror.h>
#include <secerr.h>
// This header lacks the C linkage block that NSS's other headers have.
extern "C" {
#include <utilpars.h>
}

#include <map>
#include <mutex>

namespace cto::nss {

namespace {

constexpr char sqlPrefix[] = "sql:";

std::mutex& openMutex() {
    static std::mutex mutex;
    return mutex;
}

// Stores are used from one thread (the user interface's); the lock only keeps
// the table itself sound.
// Opened databases by location, so that two stores alive at once share one
// token: NSS hands back the same slot for a second open of one directory, and
// closing it for one would close it for both.
std::map<QString, std::weak_ptr<Database>>& openDatabases() {
    static std::map<QString, std::weak_ptr<Database>> databases;
    return databases;
}

std::string moduleSpec(const QString& location) {
    const String escaped(NSSUTIL_Escape(location.toUtf8().constData(), '\''));
    // The token's name is what the password prompt shows: the same as NSS's
    // own name for a user's database, which browsers show too.
    return std::string("configdir='") + escaped.get() +
           "' tokenDescription='NSS Certificate DB' flags=readOnly";
}

} // namespace

std::shared_ptr<Database> Database::open(const QString& location) {
    std::lock_guard lock(openMutex());
    auto& databases = openDatabases();
    if (auto existing = databases[location].lock())
        return existing;

    const std::string context = "Cannot open the certificate database " + location.toStdString();
    if (!location.startsWith(QLatin1String(sqlPrefix)))
        throwStoreFailure(SEC_ERROR_BAD_DATABASE, context);
    const QString directory = location.mid(int(sizeof sqlPrefix) - 1);
    // NSS would answer a missing database only with an unknown PKCS #11 error.
    if (!QFileInfo(directory + QStringLiteral("/cert9.db")).isFile())
        throwStoreFailure(PR_FILE_NOT_FOUND_ERROR, context);

    Slot slot(SECMOD_OpenUserDB(moduleSpec(location).c_str()));
    if (!slot) {
        // The token layer reports an unreadable database as an unknown PKCS #11
        // error; NSS's own word for it is "bad database".
        const PRErrorCode error = PORT_GetError();
        throwStoreFailure(error == SEC_ERROR_UNKNOWN_PKCS11_ERROR ? SEC_ERROR_BAD_DATABASE : error, context);
    }
    std::shared_ptr<Database> database(new Database(location, std::move(slot)));
    databases[location] = database;
    return database;
}

Database::~Database() {
    std::lock_guard lock(openMutex());
    auto& databases = openDatabases();
    const auto entry = databases.find(location_);
    if (entry != databases.end() && entry->second.expired())
        databases.erase(entry);
    SECMOD_CloseUserDB(slot_.get());
}

} // namespace cto::nss
