#include "app/ReceiptSaving.h"

#include "app/PlainMessageBox.h"
#include "app/SendEngine.h"
#include "app/TSaveDialog.h"
#include "common/Exception.h"
#include "common/FileStream.h"

#include <QFile>

namespace cto {

void reportOutcome(QWidget* parent, TSaveDialog& saveDialog, const Outcome& outcome,
                   const QString& storedResponse) {
    showPlainMessage(parent, outcome.message);
    saveDialog.FileName = outcome.proposedFileName;
    // The office's answer is stored already: a copy that fails loses nothing,
    // so the user may choose another place rather than lose the chance.
    while (saveDialog.Execute(parent)) {
        try {
            writeWholeFile(QFile::encodeName(saveDialog.FileName).toStdString(), outcome.normalisedResponse);
            return;
        } catch (const Exception& failure) {
            showPlainMessage(parent, QString::fromStdString(failureMessage(failure)) +
                                         QStringLiteral("\n\nLa respuesta de la oficina ya está guardada en "
                                                        "«%1». Elija otro lugar para la copia.")
                                             .arg(storedResponse));
        }
    }
}

} // namespace cto
