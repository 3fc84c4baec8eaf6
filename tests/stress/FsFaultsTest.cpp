// A full disk and a read-only data folder, on real file systems that fs-faults.sh mounts in a
// private mount namespace: PELLORA_FULL_DIR (a small tmpfs) and PELLORA_RO_DIR (read-only,
// holding the files of an earlier run under config/ and data/).

#include "support/WindowFixture.h"

#include "platform/runtime/Services.h"

#include <QDirIterator>
#include <QFile>
#include <QSettings>

#include <cerrno>
#include <cstdio>

using namespace pellora;
using test::Window;

namespace {

const int kLocalCopyPrompt = 21; // Retry and Cancel, the error icon

QString Env(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

// Fills the file system of `folder` up to the last byte; returns the filler's path.
QString FillUp(const QString& folder) {
    const QString path = folder + QStringLiteral("/filler");
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return {};
    std::setvbuf(file, nullptr, _IONBF, 0);
    const QByteArray chunk(4096, 'f');
    for (int i = 0; i < 1 << 20; ++i) {
        if (std::fwrite(chunk.constData(), 1, chunk.size(), file) != std::size_t(chunk.size()))
            break;
    }
    for (int i = 0; i < 4096; ++i) { // the last partial page
        if (std::fwrite("f", 1, 1, file) != 1)
            break;
    }
    std::fclose(file);
    return path;
}

// Answers the local copy prompt from a script: each answer runs `before` first.
class Prompt : public platform::MessageBoxes {
public:
    platform::MsgBoxResult Show(const QString& text, platform::MsgBoxStyle style, const QString& title,
                                const QString& detail) override {
        shown.append({text, int(style), title, detail});
        if (int(style) != kLocalCopyPrompt)
            return platform::MsgBoxResult::OK;
        if (onPrompt)
            return onPrompt();
        return platform::MsgBoxResult::Cancel;
    }
    QList<test::ShownMessage> shown;
    std::function<platform::MsgBoxResult()> onPrompt;
};

std::shared_ptr<Prompt> InstallPrompt() {
    auto prompt = std::make_shared<Prompt>();
    platform::services().messageBoxes = prompt;
    return prompt;
}

QStringList FilesIn(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(folder.size() + 1);
    files.sort();
    return files;
}

// Points the program's settings and histories at `root`/config and `root`/data.
void MoveHome(const QString& root) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root + QStringLiteral("/config"));
}

} // namespace

class FsFaultsTest : public QObject {
    Q_OBJECT

private:
    QString full_ = Env("PELLORA_FULL_DIR");
    QString readOnly_ = Env("PELLORA_RO_DIR");

private slots:
    void initTestCase() {
        if (full_.isEmpty() || readOnly_.isEmpty())
            QSKIP("run through fs-faults.sh, which mounts the file systems");
    }

    // Empties the small file system (the mount point itself stays).
    void cleanup() {
        for (const QFileInfo& entry :
             QDir(full_).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (entry.isDir())
                QDir(entry.filePath()).removeRecursively();
            else
                QFile::remove(entry.filePath());
        }
    }

    void diskFullLocalCopy_data() {
        QTest::addColumn<bool>("retry");
        QTest::newRow("retry once there is space") << true;
        QTest::newRow("cancel") << false;
    }

    void diskFullLocalCopy() {
        QFETCH(bool, retry);
        Window w;
        w.values.DataPath = full_ + QStringLiteral("/messages");
        QVERIFY(QDir().mkpath(w.values.DataPath));
        const QString filler = FillUp(full_);
        QVERIFY(!filler.isEmpty());
        auto prompt = InstallPrompt();
        int prompts = 0;
        prompt->onPrompt = [&] {
            ++prompts;
            if (!retry)
                return platform::MsgBoxResult::Cancel;
            if (prompts == 1)
                return platform::MsgBoxResult::Retry; // still full: asks again
            QFile::remove(filler);
            return platform::MsgBoxResult::Retry;
        };
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        w.form->cmdSend->click();
        QCOMPARE(w.fakes.mailslots->delivered.size(), 1);
        QCOMPARE(prompts, retry ? 2 : 1);
        QVERIFY2(prompt->shown[0].text.endsWith(
                     QStringLiteral("Can't write file. Local copy of this message was not saved.")),
                 qPrintable(prompt->shown[0].text));
        QVERIFY(w.closesSoon());
        QVERIFY(w.fakes.terminated->statuses.isEmpty());
        // No half-written file and no temporary file in either case.
        if (retry) {
            QCOMPARE(FilesIn(w.values.DataPath), QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")});
            QVERIFY(test::ReadFile(w.copyPath()).endsWith("\r\n\r\nHi"));
        } else {
            QCOMPARE(FilesIn(w.values.DataPath), QStringList{});
        }
    }

    void diskFullAtClose_data() {
        QTest::addColumn<bool>("settingsToo"); // else only the histories are on the full disk
        QTest::addColumn<int>("room");         // bytes left free on it
        QTest::newRow("settings and histories") << true << 0;
        QTest::newRow("histories") << false << 0;
        // Room for one file: each new file takes the room of the old one it replaces.
        QTest::newRow("settings and histories, one block left") << true << 4096;
    }

    void diskFullAtClose() {
        QFETCH(bool, settingsToo);
        QFETCH(int, room);
        Window w;
        w.close();
        w.form.reset();
        // An earlier run's files on the small file system.
        if (settingsToo)
            MoveHome(full_);
        else
            qputenv("XDG_DATA_HOME", QFile::encodeName(full_ + QStringLiteral("/data")));
        w.open();
        w.form->txtFrom->setText(QStringLiteral("Old"));
        w.form->FromHistory->Add(QStringLiteral("Old"));
        w.close();
        QVERIFY(w.fakes.terminated->statuses.isEmpty());
        const QString settings = w.home->configHome() + QStringLiteral("/Orvane/Pellora.ini");
        const QString history = w.home->dataHome() + QStringLiteral("/Orvane/Pellora/From History.DAT");
        const QByteArray oldSettings = test::ReadFile(settings);
        const QByteArray oldHistory = test::ReadFile(history);
        QVERIFY(oldSettings.contains("From=Old"));
        QVERIFY(oldHistory.contains("\nOld\n"));

        w.open();
        w.form->txtFrom->setText(QStringLiteral("New"));
        w.form->FromHistory->Add(QStringLiteral("New"));
        const QString filler = FillUp(full_);
        QVERIFY(!filler.isEmpty());
        QVERIFY(QFile::resize(filler, QFileInfo(filler).size() - room));
        w.close();
        if (room > 0) {
            // Each file was replaced whole, none emptied.
            QVERIFY(w.fakes.terminated->statuses.isEmpty());
            QVERIFY(test::ReadFile(settings).contains("From=New\n"));
            QVERIFY(test::ReadFile(history).contains("\nNew\nOld\n"));
            return;
        }
        // The run ends with the error report (a full disk: 61); what could not be written is as
        // it was.
        QCOMPARE(w.fakes.terminated->statuses, QList<int>{1});
        QCOMPARE(w.fakes.boxes->shown.size(), 1);
        QVERIFY2(w.fakes.boxes->shown[0].text.startsWith(QStringLiteral("Run-time error '61'")),
                 qPrintable(w.fakes.boxes->shown[0].text));
        QCOMPARE(test::ReadFile(history), oldHistory);
        if (settingsToo)
            QCOMPARE(test::ReadFile(settings), oldSettings);
        else
            QVERIFY(test::ReadFile(settings).contains("From=New"));
        const QStringList left = FilesIn(full_);
        for (const QString& file : left)
            QVERIFY2(file == u"filler" || file.endsWith(u".ini") || file.endsWith(u".DAT") || file.endsWith(u".lock"),
                     qPrintable(file));
    }

    void readOnlyDataFolder() {
        Window w;
        w.values.DataPath = readOnly_ + QStringLiteral("/data/Orvane/Pellora");
        const QStringList before = FilesIn(readOnly_);
        auto prompt = InstallPrompt();
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        w.form->cmdSend->click();
        QCOMPARE(w.fakes.mailslots->delivered.size(), 1);
        QCOMPARE(prompt->shown.size(), 1);
        QCOMPARE(prompt->shown[0].style, kLocalCopyPrompt);
        QVERIFY(!prompt->shown[0].detail.isEmpty()); // the reason, beneath the prompt
        QVERIFY(w.closesSoon());                     // Cancel still closes
        QVERIFY(w.fakes.terminated->statuses.isEmpty());
        QCOMPARE(FilesIn(readOnly_), before);
    }

    void readOnlyHome() {
        Window w;
        w.close();
        w.form.reset();
        MoveHome(readOnly_);
        const QString settings = readOnly_ + QStringLiteral("/config/Orvane/Pellora.ini");
        const QString history = readOnly_ + QStringLiteral("/data/Orvane/Pellora/From History.DAT");
        const QByteArray oldSettings = test::ReadFile(settings);
        const QByteArray oldHistory = test::ReadFile(history);
        QVERIFY(oldSettings.contains("From=Earlier"));
        w.open();
        QCOMPARE(w.form->txtFrom->text(), QStringLiteral("Earlier"));
        QCOMPARE(w.form->FromHistory->Entries(), QStringList{QStringLiteral("Earlier")});
        w.form->txtFrom->setText(QStringLiteral("New"));
        w.close();
        QCOMPARE(w.fakes.terminated->statuses, QList<int>{1});
        QCOMPARE(w.fakes.boxes->shown.size(), 1);
        QVERIFY2(w.fakes.boxes->shown[0].text.startsWith(QStringLiteral("Run-time error")),
                 qPrintable(w.fakes.boxes->shown[0].text));
        QCOMPARE(test::ReadFile(settings), oldSettings);
        QCOMPARE(test::ReadFile(history), oldHistory);
    }
};

PELLORA_TEST_MAIN(FsFaultsTest)
#include "FsFaultsTest.moc"
