#pragma once

#include <cert.h>

#include <QString>

namespace cto::nss {

// The display name of a subject: its first common name; without one, the
// first organisational unit, else the first organisation, else the first
// e-mail address attribute; empty when it has none of these.
QString simpleNameOf(const CERTName& subject);

// The subject as text: the values of all its attributes in encoding order,
// unescaped, joined with ", ". The simple name is always part of it, so a
// lookup by the simple name finds its certificate whatever characters it holds.
QString subjectTextOf(const CERTName& subject);

} // namespace cto::nss
