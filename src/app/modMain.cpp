#include "app/modMain.h"

#include "platform/Services.h"
#include "platform/Support.h"
#include "ui/frmMain.h"

namespace pellora::modMain {

QString DataPath;
bool UseTempFilePrefix = false;
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

    DataPath = PrepareDataFolder();
    if (DataPath.isEmpty())
        return false;

    MainForm = new frmMain;
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

void cmdOpenDataPath_Click(QWidget* mainWindow) {
    constexpr int kShowDefault = 10;
    const int result =
        platform::shell().Execute(mainWindow, QStringLiteral("open"), DataPath, QString(), QString(), kShowDefault);
    if (result <= 32)
        platform::MsgBox(DataPath + QStringLiteral("\r\n\r\nCan't open data folder."), platform::MsgBoxStyle::Critical);
}

} // namespace pellora::modMain
