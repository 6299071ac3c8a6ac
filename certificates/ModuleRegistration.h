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

// The modules that p11-kit's configuration registers for the program of
// this name (its enable-in and disable-in lists name programs), by their
// registration names, sorted by name, trust-policy modules left out: the
// user's ~/.config/pkcs11/modules (not for the superuser, as p11-kit
// itself does), then /etc/pkcs11/modules, then the packages' folder, a
// file of one name in an earlier folder taking the place of a later one,
// as pkcs11.conf's user-config allows. Relative library names are p11-kit's
// module folder's. Read from the files, so that no module is loaded to be
// named: p11-kit's own listing loads every module it names, and one that
// crashes or hangs would hide all the others.
std::vector<ModuleRegistration> p11KitRegistrations(const QString& program);

} // namespace cto
