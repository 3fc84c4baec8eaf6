#include "platform/linux/XdgShell.h"

#include "platform/SystemServices.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace pellora::platform {

namespace {
// The results the Windows shell gives, so that callers see the same numbers everywhere.
constexpr int kSuccess = 42;
constexpr int kFileNotFound = 2;
constexpr int kNoAssociation = 31;
} // namespace

XdgShell::XdgShell(QString launcher, int waitMilliseconds)
    : launcher_(std::move(launcher)), waitMilliseconds_(waitMilliseconds) {}

int XdgShell::Execute(QWidget*, const QString& operation, const QString& file, const QString&, const QString&, int) {
    if (operation != QLatin1String("open"))
        return kNoAssociation;
    if (file.isEmpty() || !QFileInfo::exists(file))
        return kFileNotFound;

    const QString program = QStandardPaths::findExecutable(launcher_).isEmpty() && !QFileInfo(launcher_).isExecutable()
                                ? QString()
                                : launcher_;
    if (program.isEmpty())
        return QDesktopServices::openUrl(QUrl::fromLocalFile(file)) ? kSuccess : kNoAssociation;

    // xdg-open either hands the folder over and ends at once (its status tells), or runs the
    // file manager itself until the user closes it: still running after the wait means it works.
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments({QFileInfo(file).absoluteFilePath()});
    process->setStandardInputFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted(waitMilliseconds_)) {
        delete process;
        return kNoAssociation;
    }
    if (!process->waitForFinished(waitMilliseconds_)) {
        // Leave it running; it deletes itself when it ends.
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        return kSuccess;
    }
    const bool ok = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    delete process;
    return ok ? kSuccess : kNoAssociation;
}

std::shared_ptr<Shell> CreateSystemShell() { return std::make_shared<XdgShell>(); }

} // namespace pellora::platform
