#include "app/ReceiptSaving.h"

#include "app/PlainMessageBox.h"
#include "app/SendEngine.h"
#include "app/TSaveDialog.h"
#include "common/FileStream.h"

#include <QFile>

namespace cto {

void reportOutcome(QWidget* parent, TSaveDialog& saveDialog, const Outcome& outcome, ByteStream& stored) {
    showPlainMessage(parent, outcome.message);
    saveDialog.FileName = outcome.proposedFileName;
    if (saveDialog.Execute(parent)) {
        FileStream copy = FileStream::create(QFile::encodeName(saveDialog.FileName).toStdString());
        copy.copyFrom(stored);
        copy.close();
    }
}

} // namespace cto
