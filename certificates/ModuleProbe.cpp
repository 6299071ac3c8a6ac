#include "certificates/ModuleProbe.h"

#include "certificates/ProbeCache.h"
#include "certificates/ProbeProcess.h"
#include "common/TrustedFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace cto {

namespace {

QString& probePathSetting() {
    static QString path;
    return path;
}

// Probes start from several threads at once.
std::mutex& probePathMutex() {
    static std::mutex mutex;
    return mutex;
}

// Beside the program's own executable, as it is installed with it: the
// engine module may be a link to a file elsewhere, which the probe is not beside.
QString defaultProbePath() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return QFile::decodeName(QByteArray::fromStdString(program.parent_path().native())) +
           QStringLiteral("/ConexionTulvaOskelProbe");
}

} // namespace

void setModuleProbePath(const QString& path) {
    const std::lock_guard lock(probePathMutex());
    probePathSetting() = path;
}

QString moduleProbePath() {
    const std::lock_guard lock(probePathMutex());
    if (probePathSetting().isEmpty())
        probePathSetting() = defaultProbePath();
    return probePathSetting();
}

ModuleProbeOutcome probeModule(const ModuleRegistration& registration) {
    const QString probe = moduleProbePath();
    if (!QFileInfo(probe).isExecutable())
        return {ModuleProbeOutcome::Verdict::ProbeMissing, {}, probe};
    // A path that names no file needs no process to say so.
    const bool named = registration.library.contains(QLatin1Char('/'));
    if (named && !QFileInfo::exists(registration.library))
        return {ModuleProbeOutcome::Verdict::Missing, {}, registration.library};
    // A library named by its path may be one that another user put there: it
    // is refused before anything (a verdict remembered from before included),
    // and the probe loads the very file checked.
    std::optional<TrustedFile> library;
    if (named) {
        library.emplace(QFile::encodeName(registration.library).toStdString());
        if (!library->trusted())
            return {ModuleProbeOutcome::Verdict::Untrusted, {}, QString::fromStdString(library->refusal())};
    }
    if (const std::optional<ProbeCache::Remembered> known = ProbeCache::instance().recalled(registration)) {
        if (known->passed)
            return {ModuleProbeOutcome::Verdict::Passed, known->realPath, {}};
        return {ModuleProbeOutcome::Verdict::Unresponsive, {}, known->detail};
    }

    QStringList arguments{QStringLiteral("module"),
                          library ? QString::fromStdString(library->procPath()) : registration.library};
    if (!registration.parameters.isEmpty())
        arguments << registration.parameters;
    const ProbeRun run = runProbe(probe, arguments, kModuleProbeBound, library ? library->fd() : -1);
    if (!run.refusal.isEmpty())
        return {ModuleProbeOutcome::Verdict::ProbeRefused, {}, run.refusal};
    // A driver may print on its own; the probe's word is its last line.
    const QString said = QString::fromLocal8Bit(run.output).trimmed().section(QLatin1Char('\n'), -1);
    if (run.finished && run.exitCode == 0 && said.startsWith(QLatin1String("ok "))) {
        const QString realPath = said.mid(3);
        ProbeCache::instance().rememberPass(registration, realPath);
        return {ModuleProbeOutcome::Verdict::Passed, realPath, {}};
    }
    if (run.finished && run.exitCode == 3)
        return {ModuleProbeOutcome::Verdict::Missing, {}, said};
    const QString detail = run.finished ? said : run.ending;
    // So that the next run neither waits for it nor starts it again, until its file changes.
    if (named && !run.ending.startsWith(QLatin1String("no se pudo iniciar")))
        ProbeCache::instance().rememberFailure(registration,
                                               QFileInfo(registration.library).canonicalFilePath(), detail);
    return {ModuleProbeOutcome::Verdict::Unresponsive, {}, detail};
}

} // namespace cto
