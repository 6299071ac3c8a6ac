#pragma once

#include "certificates/NssOwners.h"

#include <QString>

#include <memory>
#include <optional>

namespace cto::nss {

// One NSS certificate database opened read-only as a token of its own. Stores
// and the certificates taken from them share it; it closes when the last of
// them is released, so every store object reads the database afresh.
// NSS's name for the database of the SQLite kind in directory: "sql:<directory>".
QString sqlDatabaseName(const QString& directory);
// The folder of a database named with or without NSS's "sql:".
QString folderOfDatabase(const QString& name);

class Database {
public:
    // Opens the database in directory (NSS's "sql:<directory>") under the label the user knows
    // it by, which also names its token: NSS's password prompt shows that.
    // A missing database is not created: EOleException naming the database
    // and the reason.
    static std::shared_ptr<Database> open(const QString& directory, const QString& label);

    // The whole label of the open database whose token this is (a token's
    // name holds only its first 32 bytes); nothing for any other token.
    static std::optional<QString> labelOf(PK11SlotInfo* slot);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    PK11SlotInfo* slot() const noexcept { return slot_.get(); }
    const QString& location() const noexcept { return location_; }
    const QString& label() const noexcept { return label_; }

private:
    Database(QString location, QString label, Slot slot)
        : location_(std::move(location)), label_(std::move(label)), slot_(std::move(slot)) {}

    QString location_;
    QString label_;
    Slot slot_;
};

// What to call the store behind a token when asking for its password: an
// open database's label, else the token's own name (a smart card's label).
QString storeNameOf(PK11SlotInfo* slot);

// The longest start of text that fits in maxBytes of UTF-8 without cutting a character.
QByteArray utf8Prefix(const QString& text, int maxBytes);

} // namespace cto::nss
