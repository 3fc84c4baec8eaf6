#include "platform/linux/Shell.h"

#include "platform/runtime/Guard.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <utility>

namespace pellora::platform {

namespace {
// The results the Windows shell gives, so that callers see the same numbers everywhere.
constexpr int kSuccess = 42;
constexpr int kFileNotFound = 2;
constexpr int kNoAssociation = 31;
} // namespace

XdgShell::XdgShell(QString launcher, int waitMilliseconds)
    : launcher_(std::move(launcher)), waitMilliseconds_(waitMilliseconds) {}

void XdgShell::Execute(quintptr, const QString& operation, const QString& file, const QString&, const QString&, int,
                       std::function<void(int result)> done) {
    if (operation != QLatin1String("open")) {
        done(kNoAssociation);
        return;
    }
    if (file.isEmpty() || !QFileInfo::exists(file)) {
        done(kFileNotFound);
        return;
    }

    // The first of these answers, and only that one: the launcher could not start, it ended
    // (its status tells), or it is still running after the wait, which means it works: xdg-open
    // either hands the folder over and ends at once or runs the file manager itself until the
    // user closes it.
    auto pending = std::make_shared<std::function<void(int)>>(std::move(done));
    auto answer = [pending](int result) {
        if (!*pending)
            return;
        const std::function<void(int)> callback = std::exchange(*pending, nullptr);
        Guarded([&callback, result] { callback(result); });
    };

    // The process object has no parent and is deleted only once the launcher has ended: QProcess
    // kills a process that is still running when it is destroyed, and a launcher that runs the
    // file manager itself must outlive the program.
    auto* process = new QProcess;
    process->setProgram(launcher_);
    process->setArguments({QFileInfo(file).absoluteFilePath()});
    process->setStandardInputFile(QProcess::nullDevice());
    // The launcher and what it starts write where the program writes, not into pipes that
    // close when the program ends.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::errorOccurred, process, [process, answer](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return; // a crash is reported through finished
        process->deleteLater();
        answer(kFileNotFound);
    });
    QObject::connect(process, &QProcess::finished, process,
                     [process, answer](int exitCode, QProcess::ExitStatus exitStatus) {
                         process->deleteLater();
                         answer(exitStatus == QProcess::NormalExit && exitCode == 0 ? kSuccess : kNoAssociation);
                     });
    QTimer::singleShot(waitMilliseconds_, process, [answer] { answer(kSuccess); });
    process->start();
}

std::shared_ptr<Shell> CreateSystemShell() { return std::make_shared<XdgShell>(); }

} // namespace pellora::platform
