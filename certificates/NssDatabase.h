#pragma once

#include "certificates/NssOwners.h"

#include <QString>

#include <memory>

namespace cto::nss {

// One NSS certificate database opened read-only as a token of its own. Stores
// and the certificates taken from them share it; it closes when the last of
// them is released, so every store object reads the database afresh.
class Database {
public:
    // Opens the database at "sql:<directory>". A missing database is not
    // created: EOleException naming the database and the reason.
    static std::shared_ptr<Database> open(const QString& location);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    PK11SlotInfo* slot() const noexcept { return slot_.get(); }
    const QString& location() const noexcept { return location_; }

private:
    Database(QString location, Slot slot) : location_(std::move(location)), slot_(std::move(slot)) {}

    QString location_;
    Slot slot_;
};

} // namespace cto::nss
