#include "app/windows/ReceiptSaving.h"

#include "app/SendEngine.h"
#include "app/windows/PlainMessageBox.h"
#include "app/windows/TSaveDialog.h"
#include "common/Exception.h"
#include "common/FileStream.h"

#include <QFile>

namespace cto {

void reportOutcome(QWidget* parent, TSaveDialog& saveDialog, const Outcome& outcome, ByteStream& stored) {
    showPlainMessage(parent, outcome.message);
    saveDialog.FileName = outcome.proposedFileName;
    // The office's answer is stored already: a copy that fails loses nothing,
    // so the user may choose another place rather than lose the chance.
    while (saveDialog.Execute(parent)) {
        try {
            FileStream copy = FileStream::create(QFile::encodeName(saveDialog.FileName).toStdString());
            copy.copyFrom(stored);
            copy.close();
            return;
        } catch (const Exception& failure) {
            showPlainMessage(parent, QString::fromStdString(failureMessage(failure)) +
                                         QStringLiteral("\n\nLa respuesta de la oficina ya está guardada en "
                                                        "«%1». Elija otro lugar para la copia.")
                                             .arg(QFile::decodeName(outcome.responsePath.c_str())));
        }
    }
}

} // namespace cto
