#pragma once

#include <QDateTime>
#include <QString>

#include <string>
#include <string_view>

namespace cto {

class ByteStream;

// Where a copy of every receipt the office issues is kept, accepted or with
// errors: $XDG_DATA_HOME/ConexionTulvaOskel/resguardos (~/.local/share/… when
// it is unset). The response file beside the program holds only the last.
QString receiptArchiveFolder();

// Keeps a copy of the receipt (all of the stream) in that folder, made when missing (for the user
// alone), as "Envio<order>_<yyyy-MM-dd_HHmmss>.xml" of the given local time,
// with "-2", "-3"… before ".xml" when the name is taken: an earlier receipt is
// never replaced. Written whole or not at all. Answers the file's path;
// EFCreateError or EWriteError when it cannot be kept. order: a plain name.
std::string keepReceipt(ByteStream& receipt, const QString& order, const QDateTime& issued);

} // namespace cto
