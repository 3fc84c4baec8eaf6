// Start-up: the data folder, the program's entry and the data folder button.

#include "app/modMain.h"
#include "platform/Support.h"
#include "platform/linux/XdgShell.h"
#include "support/TestSupport.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace pellora;

class StartupTest : public QObject {
    Q_OBJECT

private:
    test::Fakes fakes_;
    static QString dataHome() { return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")); }
    static void setDataHome(const QString& path) { qputenv("XDG_DATA_HOME", path.toLocal8Bit()); }
    static QList<QWidget*> visibleWindows() {
        QList<QWidget*> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                windows.append(w);
        return windows;
    }

private slots:
    void init() {
        fakes_ = test::InstallFakes();
        modMain::DataPath.clear();
    }

    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            w->hide();
            w->deleteLater();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void createsTheFolderWithItsParents_data() {
        QTest::addColumn<QString>("base");
        QTest::newRow("plain") << QStringLiteral("plain");
        QTest::newRow("spaces") << QStringLiteral("with some spaces");
        QTest::newRow("quotes") << QStringLiteral("it's \"quoted\"");
        QTest::newRow("non-ASCII") << QStringLiteral("Données Übersicht Пример");
        QTest::newRow("missing parents") << QStringLiteral("a/b/c/d");
    }
    void createsTheFolderWithItsParents() {
        QFETCH(QString, base);
        test::TestHome home;
        setDataHome(home.path() + QLatin1Char('/') + base);
        const QString folder = modMain::PrepareDataFolder();
        QCOMPARE(folder, home.path() + QLatin1Char('/') + base + QStringLiteral("/Orvane/Pellora"));
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(fakes_.boxes->shown.isEmpty());
    }

    void reusesAnExistingFolderSilently() {
        test::TestHome home;
        const QString folder = home.dataHome() + QStringLiteral("/Orvane/Pellora");
        QVERIFY(QDir().mkpath(folder));
        QFile keep(folder + QStringLiteral("/Message 2016-02-24 10-01-05.TXT"));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("kept");
        keep.close();
        QCOMPARE(modMain::PrepareDataFolder(), folder);
        QVERIFY(fakes_.boxes->shown.isEmpty());
        QCOMPARE(test::ReadFile(keep.fileName()), QByteArray("kept"));
    }

    void blockedFolderGivesOneMessageAndNoWindow_data() {
        QTest::addColumn<QString>("blocker"); // relative to the data home; a file stands there
        QTest::newRow("file named Pellora") << QStringLiteral("Orvane/Pellora");
        QTest::newRow("file named Orvane") << QStringLiteral("Orvane");
    }
    void blockedFolderGivesOneMessageAndNoWindow() {
        QFETCH(QString, blocker);
        test::TestHome home;
        const QString blockerPath = home.dataHome() + QLatin1Char('/') + blocker;
        QVERIFY(QDir().mkpath(QFileInfo(blockerPath).path()));
        QFile file(blockerPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        QVERIFY(!modMain::Main());
        QVERIFY(modMain::DataPath.isEmpty());
        QCOMPARE(fakes_.boxes->shown.size(), 1);
        const test::ShownMessage& shown = fakes_.boxes->shown.first();
        QCOMPARE(shown.text,
                 home.dataHome() + QStringLiteral("/Orvane/Pellora\r\n\r\nCan't create or open data folder."));
        QCOMPARE(shown.style, 16);
        QCOMPARE(shown.title, QStringLiteral("Kestrine - Pellora"));
        QVERIFY(visibleWindows().isEmpty());
        QVERIFY(modMain::MainForm == nullptr);
        // Nothing was written: no settings file, no history.
        QVERIFY(!QFileInfo::exists(home.configHome() + QStringLiteral("/Orvane")));
    }

    void oddDataHomesNeverCrash() {
        test::TestHome home;
        // Far longer than any path the file system takes.
        setDataHome(home.path() + QLatin1Char('/') + QString(300, QLatin1Char('x')) + QLatin1Char('/') +
                    QString(300, QLatin1Char('y')));
        const QString folder = modMain::PrepareDataFolder();
        QVERIFY(folder.isEmpty());
        QCOMPARE(fakes_.boxes->shown.size(), 1);
        QVERIFY(fakes_.boxes->shown.first().text.endsWith(QStringLiteral("\r\n\r\nCan't create or open data folder.")));
    }

    void startsWithTheMainWindow() {
        test::TestHome home;
        QVERIFY(modMain::Main());
        QCOMPARE(modMain::DataPath, home.dataHome() + QStringLiteral("/Orvane/Pellora"));
        QVERIFY(modMain::MainForm != nullptr);
        QVERIFY(modMain::MainForm->isVisible());
        QVERIFY(fakes_.boxes->shown.isEmpty());
        QVERIFY(!QApplication::windowIcon().isNull());
    }

    // The data folder button, with a launcher that records what it was asked to open.
    void openDataFolder() {
        test::TestHome home;
        const QString folder = home.dataHome() + QStringLiteral("/Orvane/Pellora with 'quotes' & $(spaces)");
        QVERIFY(QDir().mkpath(folder));
        modMain::DataPath = folder;
        const QString record = home.path() + QStringLiteral("/launched.txt");
        const QString launcher = home.path() + QStringLiteral("/fake-xdg-open");
        QFile script(launcher);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s' \"$1\" > \"" + record.toLocal8Bit() + "\"\n[ -d \"$1\" ]\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        platform::services().shell = std::make_shared<platform::XdgShell>(launcher, 5000);

        modMain::cmdOpenDataPath_Click(nullptr);
        QVERIFY(fakes_.boxes->shown.isEmpty());
        QCOMPARE(QString::fromLocal8Bit(test::ReadFile(record)), folder);

        // The folder is removed from outside: the same path in the message, the program goes on.
        QVERIFY(QDir(folder).removeRecursively());
        QFile::remove(record);
        modMain::cmdOpenDataPath_Click(nullptr);
        QCOMPARE(fakes_.boxes->shown.size(), 1);
        QCOMPARE(fakes_.boxes->shown.first().text, folder + QStringLiteral("\r\n\r\nCan't open data folder."));
        QCOMPARE(fakes_.boxes->shown.first().style, 16);
        QVERIFY(!QFileInfo::exists(record)); // a missing folder is never handed to the launcher
    }

    void shellFailuresAreToldApart() {
        test::TestHome home;
        const QString folder = home.path();
        // A launcher that reports failure.
        platform::XdgShell failing(QStringLiteral("/bin/false"), 5000);
        QVERIFY(failing.Execute(nullptr, QStringLiteral("open"), folder, {}, {}, 10) <= 32);
        // No launcher at all.
        platform::XdgShell missing(home.path() + QStringLiteral("/no-such-launcher"), 5000);
        const int result = missing.Execute(nullptr, QStringLiteral("open"), folder, {}, {}, 10);
        Q_UNUSED(result); // falls back to Qt's own desktop services, whose answer depends on the system
        // A launcher that succeeds.
        platform::XdgShell working(QStringLiteral("/bin/true"), 5000);
        QVERIFY(working.Execute(nullptr, QStringLiteral("open"), folder, {}, {}, 10) > 32);
    }
};

PELLORA_TEST_MAIN(StartupTest)
#include "StartupTest.moc"
