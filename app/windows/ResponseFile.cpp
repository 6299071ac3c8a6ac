#include "app/windows/ResponseFile.h"

#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/SpanishUnits.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace cto {

QString responseStem(const QString& argument) {
    qsizetype keep = argument.size() - 4;
    qsizetype end = 0;
    for (; keep > 0 && end < argument.size(); --keep) {
        const bool pair = argument.at(end).isHighSurrogate() && end + 1 < argument.size() &&
                          argument.at(end + 1).isLowSurrogate();
        end += pair ? 2 : 1;
    }
    return argument.left(end);
}

std::string responsePath(const QString& executableFolder, const QString& argument) {
    QString folder = executableFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    // The survey may live anywhere; its receipt lives beside the program, and
    // a "../" in the argument must not carry it out of that folder.
    const QString name = argument.mid(argument.lastIndexOf(QLatin1Char('/')) + 1);
    return QFile::encodeName(folder + responseStem(name) + QStringLiteral("-response.xml")).toStdString();
}

std::string responsePath(const QString& executableFolder, const std::string& argument) {
    const QString decoded = QFile::decodeName(QByteArray::fromStdString(argument));
    if (QFile::encodeName(decoded).toStdString() == argument)
        return responsePath(executableFolder, decoded);
    const std::string name = argument.substr(argument.rfind('/') + 1);
    std::string folder = QFile::encodeName(executableFolder).toStdString();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder + name.substr(0, name.size() > 4 ? name.size() - 4 : 0) + "-response.xml";
}

FileStream openSurvey(const std::string& surveyPath) {
    FileStream survey = FileStream::openForReading(surveyPath);
    if (survey.size() == 0)
        throw EFOpenError(fileFailureMessage("open", surveyPath, std::string("El fichero está vacío")));
    if (survey.size() > kLargestSurvey)
        throw EFOpenError(fileFailureMessage("open", surveyPath,
                                             "El fichero ocupa más de " + spanishMebibytes(kLargestSurvey) +
                                                 ", lo más que el programa envía"));
    return survey;
}

namespace {

// The errno that creating the file would meet, or 0.
int createError(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ENOTDIR;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return errno;
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? 0 : errno;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    if (::access(path.c_str(), W_OK) != 0)
        return errno;
    return 0;
}

} // namespace

void checkResponseFileCanBeCreated(const std::string& responsePath, const QString& argument) {
    const int error = QDir::isAbsolutePath(argument) ? EINVAL : createError(responsePath);
    if (error != 0)
        throw EFCreateError(fileFailureMessage("create", responsePath, error));
}

} // namespace cto
