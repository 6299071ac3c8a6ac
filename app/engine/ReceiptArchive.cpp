#include "app/engine/ReceiptArchive.h"

#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/ReplacementFile.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <filesystem>

#include <sys/stat.h>

namespace cto {
namespace {

// The folder and the two below the data home that lead to it, for the user
// alone: receipts name the establishment's surveys.
void makeFolder(const std::string& folder) {
    const std::filesystem::path path(folder);
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path().parent_path(), ignored);
    for (const std::filesystem::path& level : {path.parent_path(), path})
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
            throw EFCreateError(fileFailureMessage("create", level.string(), errno));
}

} // namespace

QString receiptArchiveFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/ConexionTulvaOskel/resguardos");
}

std::string keepReceipt(ByteStream& receipt, const QString& order, const QDateTime& issued) {
    const QString folder = receiptArchiveFolder();
    makeFolder(QFile::encodeName(folder).toStdString());
    const QString date = issued.toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
    QString stem = QStringLiteral("Envio") + order + QLatin1Char('_') + date;
    // Room for a suffix and ".xml" within the longest name a Linux file system takes (255 bytes).
    if (stem.toUtf8().size() > 240)
        stem = QStringLiteral("Envio_") + date;
    const auto nameFor = [&](int number) {
        const QString suffix = number == 1 ? QString() : QStringLiteral("-%1").arg(number);
        return QFile::encodeName(folder + QLatin1Char('/') + stem + suffix + QStringLiteral(".xml"))
            .toStdString();
    };
    ReplacementFile copy(nameFor(1));
    ReplacementSink written(copy);
    written.copyFrom(receipt);
    return copy.commitAsNew(nameFor);
}

} // namespace cto
