#pragma once

#include <QString>

#include <vector>

namespace cto {

// A PKCS #11 module that some configuration asks for: a smart card's driver,
// a software token.
struct ModuleRegistration {
    QString name;    // as the configuration calls it
    QString library; // the shared library, as written there: a path or a bare file name
    // What a database's pkcs11.txt gives besides: the module's own parameters
    // and NSS's options for it, as written there; empty when it gives none.
    QString parameters;
    QString nssOptions;
};

// The modules that the NSS database in directory registers in its pkcs11.txt,
// in the file's order, as a browser's security-device settings or modutil
// write them; the database's own internal module is not one of them. A
// database without the file registers nothing.
std::vector<ModuleRegistration> modulesRegisteredIn(const QString& directory);

} // namespace cto
