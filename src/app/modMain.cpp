#include "app/modMain.h"

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
    const QString company = QFileInfo(path).path();
    const QString settings = platform::SettingsStore::Folder(App());
    // A folder another user made is not used, nor is anything made or written beside it: what
    // the program wrote there, or through a link of theirs, would be theirs to read or aim.
    QString refused;
    if (platform::BelongsToAnotherUser(company) || platform::BelongsToAnotherUser(path))
        refused = path;
    else if (!settings.isEmpty() && platform::BelongsToAnotherUser(settings))
        refused = settings;
    if (refused.isEmpty() && ksCreateComplexDirectory(path)) {
        // The user's own folders that are open to others are closed, with the files of the
        // program in them: the histories, the local copies, the settings.
        platform::KeepFolderPrivate(company, {});
        platform::KeepFolderPrivate(path, {QString(state::FromHistoryFileName) + u'*',
                                           QString(state::ToHistoryFileName) + u'*',
                                           QString(state::ComputerHistoryFileName) + u'*',
                                           QStringLiteral("Message *.TXT"), QStringLiteral("~$Message *.TXT")});
        if (!settings.isEmpty())
            platform::KeepFolderPrivate(settings,
                                        {QFileInfo(platform::SettingsStore::Location(App())).fileName() + u'*'});
        return path;
    }
    platform::MsgBox((refused.isEmpty() ? path : refused) + QStringLiteral("\r\n\r\nCan't create or open data folder."),
                     platform::MsgBoxStyle::Critical);
    return QString();
}

} // namespace pellora::modMain
