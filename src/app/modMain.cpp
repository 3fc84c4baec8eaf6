#include "app/modMain.h"

#include "archive/LocalCopy.h"
#include "platform/components/SettingsStore.h"
#include "platform/runtime/App.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/Services.h"
#include "platform/support/PrivateFiles.h"
#include "platform/support/Support.h"
#include "platform/window/SessionEnd.h"
#include "platform/window/WindowSupport.h"
#include "state/FieldHistories.h"
#include "ui/frmMain.h"

#include <QFileInfo>

namespace pellora::modMain {

AppValues Values;
frmMain* MainForm = nullptr;

namespace {
const QString kAppIcon = QStringLiteral("A_MAIN");
} // namespace

bool Main(const StartTexts& texts) {
    ksRegisterAppPath();
    // Qt readies its controls with the application object; nothing more to initialise.
    if (!ksIsInIDE())
        ksSetWindowResIconAll(ksGetThunderMainHandle(), kAppIcon);

    Values.DataPath = PrepareDataFolder();
    if (Values.DataPath.isEmpty())
        return false;

    // SIGTERM and SIGHUP close the window as the end of the desktop session does.
    platform::EndWithTheSession();
    MainForm = new frmMain(Values);
    MainForm->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(MainForm, &QObject::destroyed, [] { MainForm = nullptr; });
    MainForm->Load();
    MainForm->FillFields(texts);
    MainForm->show();
    return true;
}

bool Main() { return Main(StartTexts{}); }

QString PrepareDataFolder() {
    const QString appData = ksGetSpecialFolder(SpecialFolder::AppData);
    const QString path = ksBuildFileName(appData, App().DataFolderName());
    const QString settings = platform::SettingsStore::Folder(App());
    // Every folder on the way must be the user's (or root's) and closed to others: what the
    // program wrote in a folder another user can change, they could read, aim or take. Both are
    // looked at before either is made; the program's own folders are held from then on, and
    // their files are reached through them.
    const QStringList dataFiles =
        QStringList{QString(state::FromHistoryFileName) + u'*', QString(state::ToHistoryFileName) + u'*',
                    QString(state::ComputerHistoryFileName) + u'*'} +
        archive::LocalCopyFilePatterns();
    const QStringList settingsFiles{QFileInfo(platform::SettingsStore::Location(App())).fileName() + u'*'};
    for (const bool make : {false, true}) {
        const platform::FolderCheck data = platform::CheckProgramFolder(path, 2, dataFiles, make);
        const platform::FolderCheck stored = settings.isEmpty()
                                                 ? platform::FolderCheck{platform::FolderCheck::Sound, QString()}
                                                 : platform::CheckProgramFolder(settings, 1, settingsFiles, make);
        const bool dataSound = data.outcome == platform::FolderCheck::Sound;
        if (!dataSound || stored.outcome != platform::FolderCheck::Sound) {
            platform::MsgBox(dataSound ? stored.folder + QStringLiteral("\r\n\r\nCan't create or open settings folder.")
                                       : data.folder + QStringLiteral("\r\n\r\nCan't create or open data folder."),
                             platform::MsgBoxStyle::Critical);
            return QString();
        }
    }
    return path;
}

} // namespace pellora::modMain
