#include "receiver/ReceiverMain.h"

#include "platform/components/SettingsStore.h"
#include "platform/netbios/NetBios.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"
#include "platform/support/MessengerPort.h"
#include "platform/support/PrivateFiles.h"
#include "platform/support/SessionEnd.h"
#include "platform/support/Support.h"
#include "platform/window/WindowSupport.h"
#include "receiver/ReceiverWindow.h"
#include "receiving/ReceivedFolder.h"
#include "receiving/Receiver.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSysInfo>

#include <cstdio>
#include <exception>
#include <memory>

namespace pellora::receiver {

namespace {

// The receiver's settings, in the section "Receiver" of the program's stored settings.
struct ReceiverSettings {
    receiving::StoreBounds bounds;
    bool bringToFront = false;
    QString workgroup;
};

ReceiverSettings ReadSettings() {
    using platform::ValueKind::Boolean;
    using platform::ValueKind::Integer;
    using platform::ValueKind::Text;
    ReceiverSettings settings;
    platform::SettingsStore store;
    const QString section = QStringLiteral("Receiver");
    settings.bounds.maxMessages =
        qBound(1, store.ReadValue(section, QStringLiteral("MaxMessages"), Integer, App(), 1000).toInt(), 100000);
    const qint64 kib =
        qBound(16, store.ReadValue(section, QStringLiteral("MaxKiB"), Integer, App(), 4096).toInt(), 1024 * 1024);
    settings.bounds.maxBytes = kib * 1024;
    settings.bringToFront = store.ReadValue(section, QStringLiteral("BringToFront"), Boolean, App(), false).toBool();
    settings.workgroup = store.ReadValue(section, QStringLiteral("Workgroup"), Text, App(), QString()).toString();
    return settings;
}

void Tell(const QString& text) {
    std::fprintf(stderr, "pellora-receiver: %s\n", text.toLocal8Bit().constData());
    if (!qEnvironmentVariableIsSet("PELLORA_RECEIVER_NO_BOX"))
        QMessageBox::critical(nullptr, QStringLiteral("Pellora Receiver"), text);
}

QString PelloraProgram() {
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pellora"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString besideExe = beside + QStringLiteral(".exe");
    if (QFileInfo(besideExe).isExecutable())
        return besideExe;
    return QStringLiteral("pellora");
}

// This computer's names in Samba's configuration (`--smb-conf PATH`, else /etc/samba/smb.conf),
// read when there is one.
platform::netbios::SambaNames ReadSambaNames() {
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--smb-conf"));
    QFile file(at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QStringLiteral("/etc/samba/smb.conf"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return platform::netbios::ParseSmbConf(file.read(1024 * 1024));
}

} // namespace

int Run() {
    ksSetWindowResIconAll(nullptr, QStringLiteral("A_MAIN"));
    QString folder;
    ReceiverSettings settings;
    try {
        const QString dataPath = ksBuildFileName(ksGetSpecialFolder(SpecialFolder::AppData), App().DataFolderName());
        // The data folder first, checked and held as Pellora's start-up does (the company and data
        // folders are the program's own), then its Received folder.
        const platform::FolderCheck data = platform::CheckProgramFolder(dataPath, 2, {}, true);
        if (data.outcome != platform::FolderCheck::Sound) {
            folder = data.folder;
            throw Error(ErrorNumber::PathFileAccess, data.outcome == platform::FolderCheck::Refused
                                                         ? QStringLiteral("another user can change it")
                                                         : QStringLiteral("it cannot be made or opened"));
        }
        folder = receiving::ReceivedFolderPath(dataPath);
        receiving::PrepareReceivedFolder(folder);
        settings = ReadSettings();
    } catch (const std::exception& error) {
        Tell(folder + QStringLiteral("\n\nCan't create or open the folder of received messages: ") +
             QString::fromLocal8Bit(error.what()));
        return 1;
    }

    const QString thisComputer = receiving::ThisComputerName(QSysInfo::machineHostName());
    receiving::Receiver receiver(folder, settings.bounds, thisComputer);
    const platform::netbios::SambaNames samba = ReadSambaNames();
    receiver.SetWorkgroup(settings.workgroup.isEmpty() ? samba.workgroup : settings.workgroup);
    receiver.SetSambaName(samba.netbiosName);
    std::unique_ptr<platform::MessengerPort> port;
    try {
        port = std::make_unique<platform::MessengerPort>([&receiver](const platform::IncomingDatagram& datagram) {
            receiver.Take(datagram, QDateTime::currentDateTime());
        });
    } catch (const Error& error) {
        if (platform::MessengerPort::AskRunningToShow())
            return 0; // this user's receiver runs already and has come to the front
        Tell(error.description());
        return 2;
    } catch (const std::exception& error) {
        Tell(QString::fromLocal8Bit(error.what()));
        return 2;
    }
    receiver.LoadSaved();

    WindowOptions options;
    options.listening = port->listening();
    options.notice = port->notice();
    options.bringToFront = settings.bringToFront;
    options.pellora = PelloraProgram();
    ReceiverWindow window(receiver, options);
    port->SetShowHandler([&window] { window.ShowAndRaise(); });
    std::fprintf(stderr, "pellora-receiver: listening on %s\n",
                 options.listening.join(QStringLiteral(", ")).toLocal8Bit().constData());
    // Smb.conf's name is what this computer is called on the network; else the host name's.
    const platform::MessengerPort* ports = port.get();
    const auto tellNotice = [&window, ports] {
        window.SetNotice(ports->notice());
        if (!ports->notice().isEmpty())
            std::fprintf(stderr, "pellora-receiver: %s\n", ports->notice().toLocal8Bit().constData());
    };
    port->AnswerName(samba.netbiosName.isEmpty() ? thisComputer : samba.netbiosName.toUpper(), tellNotice);
    tellNotice();
    try {
        // The end of the session, a shutdown or `kill` ends the event loop, so that the port
        // releases this computer's name on the way out.
        platform::WatchStopRequests([] { QCoreApplication::quit(); });
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pellora-receiver: %s\n", error.what());
    }
    window.show();
    return QApplication::exec();
}

} // namespace pellora::receiver
