// The send operation without a window: the order of its steps, what each outcome leaves behind.

#include "sending/SendOperation.h"

#include "archive/LocalCopy.h"
#include "platform/components/Components.h"
#include "platform/components/HistoryList.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QtTest>

using namespace pellora;
using namespace pellora::sending;

namespace {

// The window as the send operation sees it: every call is written down in order.
class FakeSendWindow : public SendWindow {
public:
    void SetInputEnabled(bool enabled) override {
        calls << (enabled ? QStringLiteral("enable") : QStringLiteral("disable"));
        if (!enabled && unloadWhileDisabling)
            unloaded = true;
    }
    bool IsUnloaded() const override { return unloaded; }
    MessageTexts ReadTexts() const override {
        calls << QStringLiteral("read");
        return texts;
    }
    void ShowError(const QString& text) override { calls << QStringLiteral("error: ") + text; }
    bool AskRetry(const QString& text, const Error& failure) override {
        calls << QStringLiteral("retry? ") + text + QStringLiteral(" / ") + failure.description();
        return false;
    }
    void RequestClose() override { calls << QStringLiteral("close"); }

    MessageTexts texts{QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi")};
    mutable QStringList calls;
    bool unloaded = false;
    bool unloadWhileDisabling = false;
};

// A send operation with its window, histories and data folder.
struct Sender {
    test::Fakes fakes = test::InstallFakes();
    QTemporaryDir data;
    AppValues values{data.path(), false};
    state::HistoryPtr from = std::make_unique<platform::HistoryList>();
    state::HistoryPtr to = std::make_unique<platform::HistoryList>();
    state::HistoryPtr computer = std::make_unique<platform::HistoryList>();
    FakeSendWindow window;
    SendOperation operation{window, {from, to, computer}, values};

    QStringList files() const { return QDir(data.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
};

// A writer that fails its first `failures` writes with a full disk, then writes for real.
class FailingWriter : public platform::TextFileWriter {
public:
    explicit FailingWriter(int failures) : failures_(failures) {}
    QString WriteText(const QString& path, const QString& text, platform::Existing a, platform::Encoding b,
                      platform::LineEnds c, platform::Durability d) override {
        if (failures_ > 0) {
            --failures_;
            throw Error(ErrorNumber::DiskFull, QStringLiteral("Disk full"));
        }
        return real_->WriteText(path, text, a, b, c, d);
    }

private:
    int failures_;
    std::shared_ptr<platform::TextFileWriter> real_ = platform::CreateSystemTextFileWriter();
};

} // namespace

class SendOperationTest : public QObject {
    Q_OBJECT

private slots:
    void outcomeOfASend_data();
    void outcomeOfASend();
    void deliveredMessage() {
        Sender s;
        s.operation.Run();
        QCOMPARE(s.window.calls, (QStringList{QStringLiteral("disable"), QStringLiteral("read"),
                                              QStringLiteral("close"), QStringLiteral("enable")}));
        QCOMPARE(s.fakes.mailslots->delivered, QList<QByteArray>{QByteArray("Ann\0Bob\0Hi\0", 11)});
        QCOMPARE(s.from->Entries(), QStringList{QStringLiteral("Ann")});
        QCOMPARE(s.to->Entries(), QStringList{QStringLiteral("Bob")});
        QCOMPARE(s.computer->Entries(), QStringList{QStringLiteral("PC7")});
        QCOMPARE(s.files(), QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")});
    }

    void prefixIsReadAtTheMomentOfSending() {
        Sender s;
        s.values.UseTempFilePrefix = true; // as the settings dialog changes it after the window was made
        s.operation.SendCurrentMessage();
        QCOMPARE(s.files(), QStringList{QStringLiteral("~$Message 2016-02-24 10-01-05.TXT")});
    }

    void emptyFieldStopsAtTheCheck_data() {
        QTest::addColumn<int>("empty");
        QTest::newRow("sender") << 0;
        QTest::newRow("recipient") << 1;
        QTest::newRow("computer") << 2;
        QTest::newRow("message") << 3;
    }
    void emptyFieldStopsAtTheCheck() {
        QFETCH(int, empty);
        Sender s;
        QString* fields[] = {&s.window.texts.From, &s.window.texts.To, &s.window.texts.Computer,
                             &s.window.texts.Message};
        fields[empty]->clear();
        s.operation.Run();
        QCOMPARE(s.window.calls,
                 (QStringList{QStringLiteral("disable"), QStringLiteral("read"),
                              QStringLiteral("error: The nature don't like emptiness."), QStringLiteral("enable")}));
        QVERIFY(s.fakes.mailslots->opened.isEmpty());
        QVERIFY(s.from->Entries().isEmpty());
        QVERIFY(s.to->Entries().isEmpty());
        QVERIFY(s.computer->Entries().isEmpty());
        QVERIFY(s.files().isEmpty());
    }

    void blanksCountAsFilled() {
        Sender s;
        s.window.texts = {QStringLiteral(" "), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral(" ")};
        s.operation.SendCurrentMessage();
        QCOMPARE(s.fakes.mailslots->delivered.value(0), QByteArray(" \0Bob\0 \0", 8));
        QVERIFY(s.window.calls.contains(QStringLiteral("close")));
    }

    void notDeliveredKeepsTheNamesAndSavesNoCopy() {
        Sender s;
        s.fakes.mailslots->failOpen = true;
        s.operation.Run();
        QCOMPARE(s.window.calls,
                 (QStringList{QStringLiteral("disable"), QStringLiteral("read"),
                              QStringLiteral("error: \\\\PC7\\mailslot\\messngr\r\n\r\nCan't open mailslot."),
                              QStringLiteral("enable")}));
        QVERIFY(s.fakes.boxes->shown.isEmpty()); // told through the window
        QCOMPARE(s.from->Entries(), QStringList{QStringLiteral("Ann")});
        QCOMPARE(s.to->Entries(), QStringList{QStringLiteral("Bob")});
        QCOMPARE(s.computer->Entries(), QStringList{QStringLiteral("PC7")});
        QVERIFY(s.files().isEmpty());
    }

    void unloadWhileDisablingStopsTheSend() {
        Sender s;
        s.window.unloadWhileDisabling = true;
        s.operation.Run();
        QCOMPARE(s.window.calls, QStringList{QStringLiteral("disable")});
        QVERIFY(s.fakes.mailslots->opened.isEmpty());
    }

    void noSendInsideAnother() {
        Sender s;
        int nested = 0;
        s.fakes.mailslots->onOpen = [&](const QString&) {
            const qsizetype before = s.fakes.mailslots->opened.size();
            s.operation.Run();
            nested = int(s.fakes.mailslots->opened.size() - before);
        };
        s.operation.Run();
        QCOMPARE(nested, 0);
        QCOMPARE(s.fakes.mailslots->delivered.size(), 1);
        // Once it is over, the next send runs.
        s.fakes.mailslots->onOpen = nullptr;
        s.fakes.clock->now = s.fakes.clock->now.addSecs(1);
        s.operation.Run();
        QCOMPARE(s.fakes.mailslots->delivered.size(), 2);
    }
};

// The send without a window: what Send returns for each way a send can end.
void SendOperationTest::outcomeOfASend_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("failOpen");
    QTest::addColumn<int>("failedWrites");    // of the local copy
    QTest::addColumn<QList<bool>>("answers"); // of the one asked to retry; none: nobody is asked
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text"); // "<data>" stands for the data folder
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("copies");
    const QString copyText =
        QStringLiteral("<data>/Message 2016-02-24 10-01-05.TXT\r\n\r\nCan't write file. Local copy of this message "
                       "was not saved.");
    QTest::newRow("delivered") << "Hi" << false << 0 << QList<bool>{} << int(SendResult::Delivered) << ""
                               << "" << 1;
    QTest::newRow("input refused") << "" << false << 0 << QList<bool>{} << int(SendResult::InputRefused)
                                   << "The nature don't like emptiness."
                                   << "" << 0;
    QTest::newRow("not delivered") << "Hi" << true << 0 << QList<bool>{} << int(SendResult::NotDelivered)
                                   << "\\\\PC7\\mailslot\\messngr\r\n\r\nCan't open mailslot."
                                   << "" << 0;
    QTest::newRow("copy not saved, nobody asked")
        << "Hi" << false << 1 << QList<bool>{} << int(SendResult::CopyNotSaved) << copyText << "Disk full" << 0;
    QTest::newRow("copy not saved, retry refused") << "Hi" << false << 2 << QList<bool>{true, false}
                                                   << int(SendResult::CopyNotSaved) << copyText << "Disk full" << 0;
    QTest::newRow("copy saved on retry") << "Hi" << false << 1 << QList<bool>{true} << int(SendResult::Delivered) << ""
                                         << "" << 1;
}
void SendOperationTest::outcomeOfASend() {
    QFETCH(QString, message);
    QFETCH(bool, failOpen);
    QFETCH(int, failedWrites);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, text);
    QFETCH(int, copies);
    Sender s;
    s.fakes.mailslots->failOpen = failOpen;
    platform::services().textFileWriter = std::make_shared<FailingWriter>(failedWrites);
    int asked = 0;
    archive::AskRetry ask;
    if (!answers.isEmpty())
        ask = [&](const QString&, const Error&) { return answers.value(asked++); };
    const SendOutcome outcome = Send({QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), message},
                                     {{s.from, s.to, s.computer}, s.values, ask});
    platform::services().textFileWriter.reset();
    QTEST(int(outcome.result), "result");
    // The copy's path as the system writes it (Windows: backslashes).
    QCOMPARE(outcome.text, QDir::toNativeSeparators(text.replace(QStringLiteral("<data>"), s.data.path())));
    QTEST(outcome.reason, "reason");
    QCOMPARE(asked, int(answers.size()));
    QCOMPARE(int(s.files().size()), copies);
    QVERIFY(s.window.calls.isEmpty()); // no window is asked anything
}

PELLORA_TEST_MAIN(SendOperationTest)
#include "SendOperationTest.moc"
