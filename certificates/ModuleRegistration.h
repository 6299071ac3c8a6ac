#pragma once

#include <QString>

#include <vector>

namespace cto {

// A PKCS #11 module that some configuration asks for: a smart card's driver,
// a software token.
struct ModuleRegistration {
    QString name;    // as the configuration calls it
    QString library; // the shared library, as written there: a path or a bare file name
};

// The modules that the NSS database in directory registers in its pkcs11.txt,
// in the file's order, as a browser's security-device settings or modutil
// write them; the database's own internal module is not one of them. A
// database without the file registers nothing.
std::vector<ModuleRegistration> modulesRegisteredIn(const QString& directory);

// The modules that the system's p11-kit configuration registers for this
// program (its own and the user's module files, less those that enable-in or
// disable-in keep from it) as p11-kit lists them, less the trust-policy
// modules, which hold authorities and no one's keys. Read once per process.
std::vector<ModuleRegistration> p11KitModules();

} // namespace cto
