// Writes that fail part-way, without root: a file size limit (RLIMIT_FSIZE) makes every write
// past a few bytes fail (EFBIG), as a full disk would. Whatever cannot be written completely
// must leave the old file as it was and be reported.

#include "support/WindowFixture.h"

#include "platform/components/HistoryList.h"
#include "platform/components/SettingsStore.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Services.h"

#include <csignal>

#include <sys/resource.h>

using namespace pellora;
using test::Window;

namespace {

// Limits the size of the files this process writes, for the life of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { Lift(); }
    void Lift() {
        if (ok_)
            ::setrlimit(RLIMIT_FSIZE, &saved_);
        ok_ = false;
    }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
};

const int kLocalCopyPrompt = 21; // Retry and Cancel, the error icon

} // namespace

class FileSizeLimitTest : public QObject {
    Q_OBJECT

private slots:
    void history() {
        Window w;
        platform::HistoryList list;
        list.Open(QStringLiteral("To History.DAT"), QString(), App(), QString(), -1);
        list.Add(QStringLiteral("Old"));
        list.Save();
        const QByteArray before = test::ReadFile(list.FilePath());
        list.Add(QString(200, u'n'));
        {
            FileSizeLimit limit(before.size() + 8);
            QVERIFY(limit.ok());
            QVERIFY_THROWS_EXCEPTION(Error, list.Save());
        }
        QCOMPARE(test::ReadFile(list.FilePath()), before);
    }

    void settings() {
        Window w;
        platform::SettingsStore store;
        store.WriteValue(QString(), QStringLiteral("From"), platform::ValueKind::Text, QStringLiteral("Old"), App());
        const QString path = platform::SettingsStore::Location(App());
        const QByteArray before = test::ReadFile(path);
        QVERIFY(before.contains("From=Old"));
        {
            FileSizeLimit limit(before.size() + 8);
            QVERIFY(limit.ok());
            platform::SettingsStore other;
            QVERIFY_THROWS_EXCEPTION(Error, other.WriteValue(QString(), QStringLiteral("From"),
                                                             platform::ValueKind::Text, QString(200, u'n'), App()));
        }
        QCOMPARE(test::ReadFile(path), before);
    }

    // The window's close: the error report ends the run, the old files stay.
    void closeWithoutRoom() {
        Window w;
        w.form->txtFrom->setText(QStringLiteral("Old"));
        w.form->FromHistory->Add(QStringLiteral("Old"));
        w.close();
        w.open();
        const QString settings = platform::SettingsStore::Location(App());
        const QString history = w.form->FromHistory->FilePath();
        const QByteArray oldSettings = test::ReadFile(settings);
        const QByteArray oldHistory = test::ReadFile(history);
        w.form->txtFrom->setText(QString(255, u'n'));
        w.form->FromHistory->Add(QString(255, u'n'));
        {
            FileSizeLimit limit(oldSettings.size() + 8);
            QVERIFY(limit.ok());
            w.close();
        }
        QCOMPARE(w.fakes.terminated->statuses, QList<int>{1});
        QCOMPARE(w.fakes.boxes->shown.size(), 1);
        QVERIFY(w.fakes.boxes->shown[0].text.startsWith(QStringLiteral("Run-time error '75'")));
        QCOMPARE(test::ReadFile(settings), oldSettings);
        QCOMPARE(test::ReadFile(history), oldHistory);
    }

    // The local copy: the prompt, and Retry once the limit is lifted.
    void localCopy() {
        Window w;
        FileSizeLimit limit(16);
        QVERIFY(limit.ok());
        class Prompt : public platform::MessageBoxes {
        public:
            explicit Prompt(FileSizeLimit& limit) : limit_(limit) {}
            platform::MsgBoxResult Show(const QString& text, platform::MsgBoxStyle style, const QString&,
                                        const QString&) override {
                texts.append(text);
                if (int(style) != kLocalCopyPrompt)
                    return platform::MsgBoxResult::OK;
                limit_.Lift();
                return platform::MsgBoxResult::Retry;
            }
            QStringList texts;

        private:
            FileSizeLimit& limit_;
        };
        auto prompt = std::make_shared<Prompt>(limit);
        platform::services().messageBoxes = prompt;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi there"));
        w.form->cmdSend->click();
        QCOMPARE(prompt->texts.size(), 1);
        QVERIFY(
            prompt->texts[0].endsWith(QStringLiteral("Can't write file. Local copy of this message was not saved.")));
        QCOMPARE(w.dataFiles(), QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")});
        QVERIFY(test::ReadFile(w.copyPath()).endsWith("\r\n\r\nHi there"));
        QVERIFY(
            QDir(w.values.DataPath).entryList({QStringLiteral(".pellora-*")}, QDir::Files | QDir::Hidden).isEmpty());
        QVERIFY(w.closesSoon());
    }
};

PELLORA_TEST_MAIN(FileSizeLimitTest)
#include "FileSizeLimitTest.moc"
