#include "certificates/NssDatabase.h"

#include "certificates/StoreFailures.h"
#include "common/FailureKinds.h"
#include "common/SystemErrorText.h"

#include <QFile>
#include <QFileInfo>

#include <prerror.h>
#include <secerr.h>
// This header lacks the C linkage block that NSS's other headers have.
extern "C" {
#include <utilpars.h>
}

#include <map>
#include <mutex>
#include <optional>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace cto::nss {

namespace {

// What the database's files say about a database NSS could not open, in the
// user's words, where NSS's own word ("bad database") would mislead: a file
// this user may not read, or one that another program holds locked for
// writing (SQLite's lock: a write lock on the bytes from 1 GiB on).
std::optional<std::string> reasonInFiles(const QString& directory) {
    for (const char* name : {"cert9.db", "key4.db"}) {
        const QByteArray path = QFile::encodeName(directory + QLatin1Char('/') + QLatin1String(name));
        if (::access(path.constData(), R_OK) != 0) {
            if (errno == ENOENT)
                continue;
            return std::string("no se puede leer ") + name + ": " + systemErrorText(errno);
        }
        QFile file(QString::fromLocal8Bit(path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        struct flock lock {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0x40000000;
        lock.l_len = 512;
        if (::fcntl(file.handle(), F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK)
            return std::string("otro programa tiene bloqueado ") + name + " (proceso " +
                   std::to_string(lock.l_pid) + "): ciérrelo y vuelva a intentarlo";
    }
    return std::nullopt;
}

// NSS's name for a database of the SQLite kind starts so; no other kind is read here.
constexpr char sqlPrefix[] = "sql:";
// A PKCS #11 token label is 32 bytes; NSS cuts a longer description anywhere.
constexpr int tokenLabelBytes = 32;

// Stores are used from one thread (the user interface's); the lock only keeps
// the table itself sound. Recursive: a database released while the table is
// read, or a password asked while one opens, comes back to it on that thread.
std::recursive_mutex& openMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

// Opened databases by location, so that two stores alive at once share one
// token: NSS hands back the same slot for a second open of one directory, and
// closing it for one would close it for both.
std::map<QString, std::weak_ptr<Database>>& openDatabases() {
    static std::map<QString, std::weak_ptr<Database>> databases;
    return databases;
}

std::string escaped(const QByteArray& text) {
    const String value(NSSUTIL_Escape(text.constData(), '\''));
    return value ? std::string(value.get()) : std::string();
}

std::string moduleSpec(const QString& location, const QString& label) {
    // The token's name is what NSS's password prompt shows.
    return "configdir='" + escaped(location.toUtf8()) + "' tokenDescription='" +
           escaped(utf8Prefix(label, tokenLabelBytes)) + "' flags=readOnly";
}

} // namespace

QByteArray utf8Prefix(const QString& text, int maxBytes) {
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= maxBytes)
        return bytes;
    qsizetype end = maxBytes;
    // Back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xc0) == 0x80)
        --end;
    bytes.truncate(end);
    return bytes;
}

QString sqlDatabaseName(const QString& directory) {
    return QLatin1String(sqlPrefix) + directory;
}

QString folderOfDatabase(const QString& name) {
    return name.startsWith(QLatin1String(sqlPrefix)) ? name.mid(int(sizeof sqlPrefix) - 1) : name;
}

std::shared_ptr<Database> Database::open(const QString& directory, const QString& label) {
    std::lock_guard lock(openMutex());
    auto& databases = openDatabases();
    const QString location = sqlDatabaseName(directory);
    if (auto existing = databases[location].lock())
        return existing;

    const std::string context = "No se pudo abrir el almacén de certificados «" + label.toStdString() +
                                "» (" + location.toStdString() + ")";
    // NSS would answer a missing database only with an unknown PKCS #11 error.
    if (!QFileInfo(directory + QStringLiteral("/cert9.db")).isFile())
        throwStoreFailure(PR_FILE_NOT_FOUND_ERROR, context);

    Slot slot(SECMOD_OpenUserDB(moduleSpec(location, label).c_str()));
    if (!slot) {
        const PRErrorCode error = PORT_GetError();
        if (const std::optional<std::string> reason = reasonInFiles(directory))
            throw EOleException(context + ": " + *reason);
        // The token layer reports an unreadable database as an unknown PKCS #11
        // error; NSS's own word for it is "bad database".
        throwStoreFailure(error == SEC_ERROR_UNKNOWN_PKCS11_ERROR ? SEC_ERROR_BAD_DATABASE : error, context);
    }
    std::shared_ptr<Database> database(new Database(location, label, std::move(slot)));
    databases[location] = database;
    return database;
}

std::optional<QString> Database::labelOf(PK11SlotInfo* slot) {
    std::lock_guard lock(openMutex());
    for (const auto& [location, entry] : openDatabases()) {
        const std::shared_ptr<Database> database = entry.lock();
        if (database && database->slot() == slot)
            return database->label();
    }
    return std::nullopt;
}

Database::~Database() {
    std::lock_guard lock(openMutex());
    auto& databases = openDatabases();
    const auto entry = databases.find(location_);
    if (entry != databases.end() && entry->second.expired())
        databases.erase(entry);
    SECMOD_CloseUserDB(slot_.get());
}

QString storeNameOf(PK11SlotInfo* slot) {
    if (const std::optional<QString> label = Database::labelOf(slot))
        return *label;
    return QString::fromUtf8(PK11_GetTokenName(slot));
}

} // namespace cto::nss
