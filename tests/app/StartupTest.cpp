// Start-up: the data folder, the program's entry and the data folder button.

#include "app/modMain.h"
#include "platform/linux/Shell.h"
#include "platform/support/Support.h"
#include "support/TestSupport.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

using namespace pellora;

class StartupTest : public QObject {
    Q_OBJECT

private:
    test::Fakes fakes_;
    // An executable shell script in `home` that stands for xdg-open.
    static QString WriteLauncher(const test::TestHome& home, const QByteArray& body) {
        const QString path = home.path() + QStringLiteral("/fake-xdg-open");
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        script.write("#!/bin/sh\n" + body);
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
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
        modMain::Values.DataPath.clear();
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
        QTest::addColumn<int>("baseMode"); // the base folder made beforehand with this mode; 0: not made
        QTest::newRow("plain") << QStringLiteral("plain") << 0;
        QTest::newRow("spaces") << QStringLiteral("with some spaces") << 0;
        QTest::newRow("quotes") << QStringLiteral("it's \"quoted\"") << 0;
        QTest::newRow("non-ASCII") << QStringLiteral("Données Übersicht Пример") << 0;
        QTest::newRow("missing parents") << QStringLiteral("a/b/c/d") << 0;
        // Open to all but sticky, as /tmp is: nobody can move what is not theirs.
        QTest::newRow("a sticky base open to all") << QStringLiteral("sticky") << 01777;
    }
    void createsTheFolderWithItsParents() {
        QFETCH(QString, base);
        QFETCH(int, baseMode);
        test::TestHome home;
        if (baseMode != 0) {
            QVERIFY(QDir().mkdir(home.path() + QLatin1Char('/') + base));
            QCOMPARE(::chmod(QFile::encodeName(home.path() + QLatin1Char('/') + base).constData(), mode_t(baseMode)),
                     0);
        }
        setDataHome(home.path() + QLatin1Char('/') + base);
        const QString folder = modMain::PrepareDataFolder();
        QCOMPARE(folder, home.path() + QLatin1Char('/') + base + QStringLiteral("/Orvane/Pellora"));
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(fakes_.boxes->shown.isEmpty());
    }

    // The folders are used as they are; those open to others are closed first, with the
    // program's files in them.
    void reusesAnExistingFolderSilently_data() {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<int>("folderModeAfter");
        QTest::addColumn<int>("fileModeAfter");
        QTest::newRow("private") << 0700 << 0600 << 0700 << 0600;
        QTest::newRow("open to others") << 0777 << 0644 << 0700 << 0600;
    }
    void reusesAnExistingFolderSilently() {
        QFETCH(int, folderMode);
        QFETCH(int, fileMode);
        QFETCH(int, folderModeAfter);
        QFETCH(int, fileModeAfter);
        test::TestHome home;
        const QString folder = home.dataHome() + QStringLiteral("/Orvane/Pellora");
        const QStringList files{folder + QStringLiteral("/Message 2016-02-24 10-01-05.TXT"),
                                folder + QStringLiteral("/To History.DAT"),
                                home.configHome() + QStringLiteral("/Orvane/Pellora.ini")};
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(home.configHome() + QStringLiteral("/Orvane")));
        for (const QString& path : files) {
            QFile keep(path);
            QVERIFY(keep.open(QIODevice::WriteOnly));
            keep.write("kept");
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(fileMode)) == 0);
        }
        for (const QString& each : {folder, QFileInfo(folder).path(), home.configHome() + QStringLiteral("/Orvane")})
            QVERIFY(::chmod(QFile::encodeName(each).constData(), mode_t(folderMode)) == 0);
        QCOMPARE(modMain::PrepareDataFolder(), folder);
        QVERIFY(fakes_.boxes->shown.isEmpty());
        for (const QString& path : files) {
            QCOMPARE(test::ReadFile(path), QByteArray("kept"));
            QCOMPARE(test::FileMode(path), fileModeAfter);
            QCOMPARE(test::FileMode(QFileInfo(path).path()), folderModeAfter);
        }
        QCOMPARE(test::FileMode(QFileInfo(folder).path()), folderModeAfter);
    }

    // Every folder from the home down must be the user's (or root's) and closed to others; a
    // link on the way counts as what it leads to. The message names the folder refused.
    void blockedFolderGivesOneMessageAndNoWindow_data() {
        QTest::addColumn<QString>("blocker"); // relative to the home
        QTest::addColumn<QString>("kind");    // file; foreign: a folder of another user; open: a
                                              // folder open to others; link: the user's own link
                                              // to a folder of another user
        QTest::addColumn<QString>("shown");   // the folder in the message
        QTest::addColumn<QString>("message");
        const QString data = QStringLiteral(".local/share/Orvane/Pellora");
        const QString dataMessage = QStringLiteral("Can't create or open data folder.");
        QTest::newRow("file named Pellora") << data << "file" << data << dataMessage;
        QTest::newRow("file named Orvane") << QStringLiteral(".local/share/Orvane") << "file" << data << dataMessage;
        QTest::newRow("Pellora of another user") << data << "foreign" << data << dataMessage;
        QTest::newRow("Orvane of another user") << QStringLiteral(".local/share/Orvane") << "foreign"
                                                << QStringLiteral(".local/share/Orvane") << dataMessage;
        QTest::newRow("own link to a folder of another user as Pellora") << data << "link" << data << dataMessage;
        QTest::newRow(".local/share open to others")
            << QStringLiteral(".local/share") << "open" << QStringLiteral(".local/share") << dataMessage;
        QTest::newRow("settings folder of another user")
            << QStringLiteral(".config/Orvane") << "foreign" << QStringLiteral(".config/Orvane")
            << QStringLiteral("Can't create or open settings folder.");
        QTest::newRow(".config of another user") << QStringLiteral(".config") << "foreign" << QStringLiteral(".config")
                                                 << QStringLiteral("Can't create or open settings folder.");
    }
    void blockedFolderGivesOneMessageAndNoWindow() {
        QFETCH(QString, blocker);
        QFETCH(QString, kind);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        if ((kind == u"foreign" || kind == u"link") && ::geteuid() != 0)
            QSKIP("only root can give a folder to another user");
        test::TestHome home;
        const QString blockerPath = home.path() + QStringLiteral("/home/") + blocker;
        QVERIFY(QDir().mkpath(QFileInfo(blockerPath).path()));
        const QByteArray name = QFile::encodeName(blockerPath);
        if (kind == u"file") {
            test::WriteFile(blockerPath, "");
        } else if (kind == u"link") {
            const QString theirs = home.path() + QStringLiteral("/theirs");
            QVERIFY(QDir().mkdir(theirs) && ::chown(QFile::encodeName(theirs).constData(), 65534, 65534) == 0);
            QCOMPARE(::symlink(QFile::encodeName(theirs).constData(), name.constData()), 0);
        } else {
            QVERIFY(QDir().mkpath(blockerPath));
            QVERIFY(kind == u"open" ? ::chmod(name.constData(), 0777) == 0
                                    : ::chown(name.constData(), 65534, 65534) == 0);
        }

        QVERIFY(!modMain::Main());
        QVERIFY(modMain::Values.DataPath.isEmpty());
        QCOMPARE(fakes_.boxes->shown.size(), 1);
        const test::ShownMessage& box = fakes_.boxes->shown.first();
        QCOMPARE(box.text, home.path() + QStringLiteral("/home/") + shown + QStringLiteral("\r\n\r\n") + message);
        QCOMPARE(box.style, 16);
        QCOMPARE(box.title, QStringLiteral("Kestrine - Pellora"));
        QVERIFY(visibleWindows().isEmpty());
        QVERIFY(modMain::MainForm == nullptr);
        // Nothing was written: no folder made, no settings file, no history.
        for (const QString& company : {QStringLiteral(".config/Orvane"), QStringLiteral(".local/share/Orvane")})
            QCOMPARE(QFileInfo::exists(home.path() + QStringLiteral("/home/") + company), blocker.startsWith(company));
        if (kind != u"file")
            QCOMPARE(QDir(blockerPath).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
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
        QCOMPARE(modMain::Values.DataPath, home.dataHome() + QStringLiteral("/Orvane/Pellora"));
        QVERIFY(modMain::MainForm != nullptr);
        QVERIFY(modMain::MainForm->isVisible());
        QVERIFY(fakes_.boxes->shown.isEmpty());
        QVERIFY(!QApplication::windowIcon().isNull());
    }

    // Names and a message given on the command line stand in the fields instead of the stored
    // ones; a field given nothing shows what is stored.
    void startsWithTheGivenTexts() {
        test::TestHome home;
        test::EditSettings("[General]\nFrom=Earlier\nTo=Someone\nMachine=PC9\n");
        QVERIFY(modMain::Main(
            StartTexts{QStringLiteral("Ann"), std::nullopt, QStringLiteral(""), QStringLiteral("Hi\nthere")}));
        QCOMPARE(modMain::MainForm->txtFrom->text(), QStringLiteral("Ann"));
        QCOMPARE(modMain::MainForm->txtTo->text(), QStringLiteral("Someone"));
        QCOMPARE(modMain::MainForm->txtComputer->text(), QStringLiteral(""));
        QCOMPARE(modMain::MainForm->txtMessage->Text(), QStringLiteral("Hi\r\nthere"));
    }

    // The data folder button, with a launcher that records what it was asked to open.
    void openDataFolder() {
        test::TestHome home;
        const QString folder = home.dataHome() + QStringLiteral("/Orvane/Pellora with 'quotes' & $(spaces)");
        QVERIFY(QDir().mkpath(folder));
        AppValues values{folder, false};
        frmMain form(values);
        const QString record = home.path() + QStringLiteral("/launched.txt");
        const QString launcher =
            WriteLauncher(home, "printf '%s' \"$1\" > \"" + record.toLocal8Bit() + "\"\n[ -d \"$1\" ]\n");
        platform::services().shell = std::make_shared<platform::XdgShell>(launcher, 5000);

        form.cmdOpenDataPath->click();
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromLocal8Bit(test::ReadFile(record)), folder, 10000);
        QTest::qWait(500); // the launcher's status has come in by now
        QVERIFY(fakes_.boxes->shown.isEmpty());

        // The folder is removed from outside: the same path in the message, the program goes on.
        QVERIFY(QDir(folder).removeRecursively());
        QFile::remove(record);
        form.cmdOpenDataPath->click();
        QTRY_COMPARE_WITH_TIMEOUT(fakes_.boxes->shown.size(), 1, 10000);
        QCOMPARE(fakes_.boxes->shown.first().text, folder + QStringLiteral("\r\n\r\nCan't open data folder."));
        QCOMPARE(fakes_.boxes->shown.first().style, 16);
        QVERIFY(!QFileInfo::exists(record)); // a missing folder is never handed to the launcher
    }

    // What the launcher does decides the answer, and the button never waits for it: the window
    // goes on handling events while the launcher runs, and a failure is told afterwards.
    void shellFailuresAreToldApart_data() {
        QTest::addColumn<QString>("launcher");     // a program; "script:" + a shell script; "missing"; "not executable"
        QTest::addColumn<int>("waitMilliseconds"); // how long a launcher's end still counts
        QTest::addColumn<bool>("fails");
        QTest::addColumn<int>("watchMilliseconds"); // how long no message must come, when none is due
        QTest::addColumn<int>("clicks");            // quick clicks, one after the other
        QTest::newRow("launcher reports failure") << "/bin/false" << 5000 << true << 0 << 1;
        QTest::newRow("launcher ends with status 3") << "script:exit 3" << 5000 << true << 0 << 1;
        QTest::newRow("launcher killed by a signal") << "script:kill -KILL $$" << 5000 << true << 0 << 1;
        QTest::newRow("no launcher at all") << "missing" << 5000 << true << 0 << 1;
        QTest::newRow("launcher that cannot be run") << "not executable" << 5000 << true << 0 << 1;
        QTest::newRow("launcher succeeds") << "/bin/true" << 5000 << false << 1000 << 1;
        QTest::newRow("launcher still running after the wait")
            << "script:exec sleep 4 </dev/null >/dev/null 2>&1" << 1500 << false << 2000 << 1;
        QTest::newRow("launcher failing after the wait")
            << "script:sleep 2 </dev/null >/dev/null 2>&1; exit 1" << 1000 << false << 3000 << 1;
        // The launchers fail while the first one's box is up: the others' failures are that box's.
        QTest::newRow("three quick clicks, launcher fails") << "script:exit 3" << 5000 << true << 1000 << 3;
    }
    void shellFailuresAreToldApart() {
        QFETCH(QString, launcher);
        QFETCH(int, waitMilliseconds);
        QFETCH(bool, fails);
        QFETCH(int, watchMilliseconds);
        QFETCH(int, clicks);
        test::TestHome home;
        AppValues values{home.path(), false};
        frmMain form(values);
        const QString runs = home.path() + QStringLiteral("/runs.txt"); // a line for each launcher started
        if (launcher.startsWith(QLatin1String("script:"))) {
            launcher =
                WriteLauncher(home, "echo >> '" + runs.toLocal8Bit() + "'\n" + launcher.mid(7).toLocal8Bit() + '\n');
        } else if (launcher == QLatin1String("missing")) {
            launcher = home.path() + QStringLiteral("/no-such-launcher");
        } else if (launcher == QLatin1String("not executable")) {
            launcher = WriteLauncher(home, "exit 0\n");
            QVERIFY(QFile::setPermissions(launcher, QFile::ReadOwner | QFile::WriteOwner));
        }
        platform::services().shell = std::make_shared<platform::XdgShell>(launcher, waitMilliseconds);

        if (clicks > 1) {
            // The first box stays up until every launcher has run and the others' answers have had
            // their time, as a real box's event loop would.
            fakes_.boxes->onShow = [&] {
                QTRY_COMPARE_WITH_TIMEOUT(test::ReadFile(runs).count('\n'), qsizetype(clicks), 10000);
                QTest::qWait(watchMilliseconds);
            };
        }
        QElapsedTimer click;
        click.start();
        for (int i = 0; i < clicks; ++i)
            form.cmdOpenDataPath->click();
        QVERIFY2(click.elapsed() < 750, qPrintable(QStringLiteral("the clicks took %1 ms").arg(click.elapsed())));

        if (fails) {
            QTRY_COMPARE_WITH_TIMEOUT(fakes_.boxes->shown.size(), 1, 10000);
            QCOMPARE(fakes_.boxes->shown.first().text, home.path() + QStringLiteral("\r\n\r\nCan't open data folder."));
            QCOMPARE(fakes_.boxes->shown.first().style, 16);
            QCOMPARE(fakes_.boxes->shown.first().title, QStringLiteral("Kestrine - Pellora"));
            QTest::qWait(300);
            QCOMPARE(fakes_.boxes->shown.size(), 1); // one answer per click
        } else {
            QTest::qWait(watchMilliseconds);
            QVERIFY(fakes_.boxes->shown.isEmpty());
        }
    }

    // SIGTERM and SIGHUP close the window as the end of the desktop session does, and both close
    // an open menu or dialog first: what was typed is stored, and the program does not wait.
    void stopRequestsCloseTheWindow_data() {
        QTest::addColumn<int>("signal"); // 0: the desktop session ends (Qt's request to quit)
        QTest::addColumn<QString>("open");
        QTest::addColumn<bool>("historiesFail"); // the data folder has become a file
        QTest::newRow("SIGTERM") << int(SIGTERM) << "" << false;
        QTest::newRow("SIGHUP") << int(SIGHUP) << "" << false;
        QTest::newRow("SIGTERM, settings dialog open") << int(SIGTERM) << "settings" << false;
        QTest::newRow("SIGTERM, history menu open") << int(SIGTERM) << "menu" << false;
        QTest::newRow("session end, history menu open") << 0 << "menu" << false;
        // The failure is told on the standard error, not in a box that would wait for an answer.
        QTest::newRow("SIGTERM, the histories cannot be saved") << int(SIGTERM) << "" << true;
    }
    void stopRequestsCloseTheWindow() {
        QFETCH(int, signal);
        QFETCH(QString, open);
        QFETCH(bool, historiesFail);
        test::TestHome home;
        QVERIFY(modMain::Main());
        QPointer<frmMain> form = modMain::MainForm;
        form->txtFrom->setText(QStringLiteral("Ann"));
        form->txtTo->setText(QStringLiteral("Bob"));
        form->txtComputer->setText(QStringLiteral("PC7"));
        if (historiesFail) {
            QVERIFY(QDir(modMain::Values.DataPath).removeRecursively());
            test::WriteFile(modMain::Values.DataPath, "in the way");
        }
        const auto stop = [signal] {
            QEvent quit(QEvent::Quit);
            signal != 0 ? void(std::raise(signal)) : void(QCoreApplication::sendEvent(qApp, &quit));
        };
        if (open.isEmpty()) {
            stop();
        } else {
            QTimer::singleShot(100, stop); // while the dialog or menu waits for the user
            const QObject row;             // should it stay open, it is closed after 3 s and the row fails
            QTimer::singleShot(3000, &row, [] {
                for (QWidget* w : {QApplication::activePopupWidget(), QApplication::activeModalWidget()})
                    if (w != nullptr)
                        w->close();
            });
            QElapsedTimer waited;
            waited.start();
            (open == QLatin1String("menu") ? form->cmdFromHistory : form->cmdSettings)->click();
            QVERIFY2(waited.elapsed() < 2000, "the menu or dialog stayed open");
        }
        QTRY_VERIFY(form.isNull());
        QVERIFY(QApplication::activePopupWidget() == nullptr && QApplication::activeModalWidget() == nullptr);
        QVERIFY(fakes_.boxes->shown.isEmpty());
        QCOMPARE(fakes_.terminated->statuses, historiesFail ? QList<int>{1} : QList<int>{});
        const QSettings stored(home.configHome() + QStringLiteral("/Orvane/Pellora.ini"), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("From")), QVariant(QStringLiteral("Ann")));
        QCOMPARE(stored.value(QStringLiteral("To")), QVariant(QStringLiteral("Bob")));
        QCOMPARE(stored.value(QStringLiteral("Machine")), QVariant(QStringLiteral("PC7")));
    }

    // The launcher's failure comes in after the main window has closed: the message still tells
    // the path, and nothing of the window is touched.
    void launcherAnswersAfterTheWindowHasClosed() {
        test::TestHome home;
        QVERIFY(modMain::Main());
        QPointer<frmMain> form = modMain::MainForm;
        QVERIFY(form);
        const QString launcher = WriteLauncher(home, "sleep 1\nexit 1\n");
        platform::services().shell = std::make_shared<platform::XdgShell>(launcher, 5000);

        form->cmdOpenDataPath->click();
        QVERIFY(fakes_.boxes->shown.isEmpty()); // the launcher is still running
        form->close();
        QTRY_VERIFY(form.isNull());
        QTRY_COMPARE_WITH_TIMEOUT(fakes_.boxes->shown.size(), 1, 10000);
        QCOMPARE(fakes_.boxes->shown.first().text,
                 home.dataHome() + QStringLiteral("/Orvane/Pellora\r\n\r\nCan't open data folder."));
    }
};

PELLORA_TEST_MAIN(StartupTest)
#include "StartupTest.moc"
