#pragma once

#include <QDateTime>
#include <QString>

#include <vector>

class QAbstractItemDelegate;
class QObject;

namespace cto {

struct CertificateRow;

// "caducado el 1 ene 2024" for a certificate whose validity ended before now;
// empty for any other.
QString expiryNote(const CertificateRow& certificate, const QDateTime& now);

// What each row shows in its name column, in the rows' order: the name, then,
// where other rows carry the same name, what tells them apart (organisation,
// else issuer, else serial number: the first that differs among them), then
// "(caducado)" for an expired certificate. "Cliente Prueba · serie …3A:0F:11
// (caducado)".
std::vector<QString> shownNames(const std::vector<CertificateRow>& rows, const QDateTime& now);

// The item role that holds a row's shown name; the name itself stays the
// item's text, which is what the dialog hands back.
inline constexpr int kShownNameRole = Qt::UserRole + 10;

// Draws a cell's shown name (kShownNameRole) where it has one.
QAbstractItemDelegate* makeShownNameDelegate(QObject* parent);

} // namespace cto
