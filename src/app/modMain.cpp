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
    // The desktop's answer may come after this handler has returned, even after the window has
    // closed: the message needs nothing but the path.
    const QString path = DataPath;
    platform::shell().Execute(mainWindow, QStringLiteral("open"), path, QString(), QString(), kShowDefault,
                              [path](int result) {
                                  if (result <= 32)
                                      platform::MsgBox(path + QStringLiteral("\r\n\r\nCan't open data folder."),
                                                       platform::MsgBoxStyle::Critical);
                              });
}

} // namespace pellora::modMain
