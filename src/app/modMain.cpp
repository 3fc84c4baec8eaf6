#include "app/modMain.h"

#include "archive/DataFolder.h"
#include "platform/runtime/Services.h"
#include "platform/support/SessionEnd.h"
#include "platform/support/Support.h"
#include "ui/frmMain.h"

namespace pellora::modMain {

AppValues Values;
frmMain* MainForm = nullptr;

namespace {
const QString kDataFolder = QStringLiteral("Orvane\\Pellora");
const QString kAppIcon = QStringLiteral("A_MAIN");
} // namespace

bool Main() {
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
    MainForm->show();
    return true;
}

QString PrepareDataFolder() {
    const QString appData = ksGetSpecialFolder(SpecialFolder::AppData);
    const QString path = ksBuildFileName(appData, kDataFolder);
    if (ksCreateComplexDirectory(path))
        return path;
    platform::MsgBox(path + QStringLiteral("\r\n\r\nCan't create or open data folder."),
                     platform::MsgBoxStyle::Critical);
    return QString();
}

void cmdOpenDataPath_Click(QWidget* mainWindow) { archive::OpenDataFolder(mainWindow, Values.DataPath); }

} // namespace pellora::modMain
