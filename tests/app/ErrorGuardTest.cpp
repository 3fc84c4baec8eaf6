// The top-level error handler: report the number and description, end at once, store nothing.

#include "platform/runtime/Error.h"
#include "platform/runtime/Guard.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDirIterator>
#include <QProcess>
#include <QTest>

using namespace pellora;

class ErrorGuardTest : public QObject {
    Q_OBJECT

private slots:
    void reportsTheErrorAndEndsTheProgram() {
        test::Fakes fakes = test::InstallFakes();
        bool after = false;
        platform::Guarded([&] {
            throw Error(ErrorNumber::PathFileAccess, QStringLiteral("Path/File access error"));
            after = true;
        });
        QVERIFY(!after);
        QCOMPARE(fakes.boxes->shown.size(), 1);
        QCOMPARE(fakes.boxes->shown.first().text, QStringLiteral("Run-time error '75':\r\n\r\nPath/File access error"));
        QCOMPARE(fakes.boxes->shown.first().style, 16);
        QCOMPARE(fakes.boxes->shown.first().title, QStringLiteral("Kestrine - Pellora"));
        QCOMPARE(fakes.terminated->statuses, QList<int>{1});
    }

    void otherExceptionsAreReportedToo() {
        test::Fakes fakes = test::InstallFakes();
        platform::Guarded([] { throw std::runtime_error("out of cheese"); });
        QCOMPARE(fakes.boxes->shown.size(), 1);
        QVERIFY(fakes.boxes->shown.first().text.startsWith(QStringLiteral("Run-time error '51':")));
        QVERIFY(fakes.boxes->shown.first().text.endsWith(QStringLiteral("out of cheese")));
        QCOMPARE(fakes.terminated->statuses.size(), 1);
    }

    void aHandlerThatSucceedsReportsNothing() {
        test::Fakes fakes = test::InstallFakes();
        int runs = 0;
        platform::Guarded([&] { ++runs; });
        QCOMPARE(runs, 1);
        QVERIFY(fakes.boxes->shown.isEmpty());
        QVERIFY(fakes.terminated->statuses.isEmpty());
    }

    // The real program: an error in a key handler ends the process before the window unloads.
    void theProcessEndsWithoutUnloading() {
        test::TestHome home;
        QProcess probe;
        probe.setProgram(QStringLiteral(FATAL_PROBE));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        probe.setProcessEnvironment(env);
        probe.start();
        QVERIFY(probe.waitForFinished(20000));
        const QString out = QString::fromLocal8Bit(probe.readAllStandardOutput());
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 1);
        QVERIFY2(
            out.contains(QStringLiteral("MSGBOX 16 [Kestrine - Pellora] Run-time error '5':||Invalid procedure call")),
            qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("STILL RUNNING")), qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("EVENT LOOP ENDED")), qPrintable(out));
        // Nothing stored: no settings, no history files.
        QVERIFY(!QFileInfo::exists(home.configHome() + QStringLiteral("/Orvane/Pellora.ini")));
        QDirIterator it(home.dataHome(), QDir::Files, QDirIterator::Subdirectories);
        QStringList files;
        while (it.hasNext())
            files << it.next();
        QVERIFY2(files.isEmpty(), qPrintable(files.join(QLatin1Char(','))));
    }
};

PELLORA_TEST_MAIN(ErrorGuardTest)
#include "ErrorGuardTest.moc"
