#include "certificates/ModuleProbe.h"

#include "certificates/ProbeCache.h"
#include "certificates/ProbeProcess.h"
#include "common/TrustedFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace cto {

namespace {

QString& probePathSetting() {
    static QString path;
    return path;
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
    probePathSetting() = path;
}

QString moduleProbePath() {
    if (probePathSetting().isEmpty())
        probePathSetting() = defaultProbePath();
    return probePathSetting();
}

ModuleProbeOutcome probeModule(const ModuleRegistration& registration) {
    const QString probe = moduleProbePath();
    if (!QFileInfo(probe).isExecutable())
        return {ModuleProbeOutcome::Verdict::ProbeMissing, {}, probe};
    // A path that names no file needs no process to say so.
    if (registration.library.contains(QLatin1Char('/')) && !QFileInfo::exists(registration.library))
        return {ModuleProbeOutcome::Verdict::Missing, {}, registration.library};
    // A library named by its path may be one that another user put there: it
    // is refused before anything (a pass remembered from before included), and
    // the probe loads the very file checked.
    std::optional<TrustedFile> library;
    if (registration.library.contains(QLatin1Char('/'))) {
        library.emplace(QFile::encodeName(registration.library).toStdString());
        if (!library->trusted())
            return {ModuleProbeOutcome::Verdict::Untrusted, {}, QString::fromStdString(library->refusal())};
    }
    if (std::optional<QString> known = ProbeCache::instance().passed(registration))
        return {ModuleProbeOutcome::Verdict::Passed, *known, {}};

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
        ProbeCache::instance().remember(registration, realPath);
        return {ModuleProbeOutcome::Verdict::Passed, realPath, {}};
    }
    if (run.finished && run.exitCode == 3)
        return {ModuleProbeOutcome::Verdict::Missing, {}, said};
    return {ModuleProbeOutcome::Verdict::Unresponsive, {}, run.finished ? said : run.ending};
}

std::optional<std::vector<ModuleRegistration>> p11KitModulesProbed() {
    const QString probe = moduleProbePath();
    if (!QFileInfo(probe).isExecutable())
        return std::nullopt;
    // p11-kit's configuration may turn a module on or off for this program by its name.
    const ProbeRun run =
        runProbe(probe, {QStringLiteral("p11-kit"), QString::fromLocal8Bit(program_invocation_short_name)},
                 kModuleProbeBound);
    if (!run.finished || run.exitCode != 0)
        return std::nullopt;
    std::vector<ModuleRegistration> registrations;
    for (const QByteArray& line : run.output.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        // Trust-policy modules hold authorities, no one's keys.
        if (fields.size() == 3 && fields[2] == "0")
            registrations.push_back({QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]), {}, {}});
    }
    return registrations;
}

} // namespace cto
