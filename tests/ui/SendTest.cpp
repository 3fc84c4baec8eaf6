// Sending from the main window: input check, histories, delivery, local copy, closing.

#include "support/WindowFixture.h"

#include "platform/components/Components.h"
#include "platform/runtime/Error.h"
#include "platform/support/Support.h"

#include <QLabel>

using namespace pellora;
using test::Window;

namespace {

// A writer that fails a given number of times before it writes for real.
class FlakyWriter : public platform::TextFileWriter {
public:
    explicit FlakyWriter(int failures) : failures_(failures) {}
    QString WriteText(const QString& path, const QString& text, platform::Existing a, platform::Encoding b,
                      platform::LineEnds c, platform::Durability d) override {
        ++attempts;
        if (failures_ > 0) {
            --failures_;
            throw Error(ErrorNumber::DiskFull, QStringLiteral("Disk full"));
        }
        return real_->WriteText(path, text, a, b, c, d);
    }
    int attempts = 0;

private:
    int failures_;
    std::shared_ptr<platform::TextFileWriter> real_ = [] {
        auto& s = platform::services();
        auto keep = s.textFileWriter;
        s.textFileWriter.reset();
        platform::textFileWriter();
        auto real = s.textFileWriter;
        s.textFileWriter = keep;
        return real;
    }();
};

} // namespace

class SendTest : public QObject {
    Q_OBJECT

private slots:
    // The bytes and dates below are the C locale's: code page 437, test::kSentDate.
    void initTestCase() { test::UseCLocale(); }

    void deliveredMessageIsSavedAndClosesTheWindow() {
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi\r\nthere"));
        w.form->cmdSend->click();
        // The close waits until the click handler has returned.
        QVERIFY(w.form->isVisible());
        QCOMPARE(w.fakes.mailslots->opened, QStringList{QStringLiteral("\\\\PC7\\mailslot\\messngr")});
        QCOMPARE(w.fakes.mailslots->delivered.size(), 1);
        QCOMPARE(w.fakes.mailslots->delivered.first(), QByteArray("Ann\0Bob\0Hi\r\nthere\0", 18));
        QCOMPARE(w.fakes.mailslots->openFiles, 0);
        QVERIFY(w.fakes.boxes->shown.isEmpty());
        QCOMPARE(w.form->FromHistory->Entries(), QStringList{QStringLiteral("Ann")});
        QCOMPARE(w.form->ToHistory->Entries(), QStringList{QStringLiteral("Bob")});
        QCOMPARE(w.form->ComputerHistory->Entries(), QStringList{QStringLiteral("PC7")});
        QCOMPARE(w.dataFiles(), QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")});
        QCOMPARE(test::ReadFile(w.copyPath()), "From:     Ann\r\nTo:       Bob\r\nComputer: PC7\r\nDate:     " +
                                                   test::kSentDate + "\r\n\r\nHi\r\nthere");
        QVERIFY(w.form->cmdSend->isEnabled());
        QVERIFY(w.closesSoon());
        // The unload stored the names.
        platform::HistoryList reread;
        reread.Open(QStringLiteral("Computer History.DAT"), QString(), App(), QString(), -1);
        reread.Load();
        QCOMPARE(reread.Entries(), QStringList{QStringLiteral("PC7")});
    }

    void emptyFieldChangesNothing_data() {
        QTest::addColumn<int>("empty");
        QTest::newRow("sender") << 0;
        QTest::newRow("recipient") << 1;
        QTest::newRow("computer") << 2;
        QTest::newRow("message") << 3;
    }
    void emptyFieldChangesNothing() {
        QFETCH(int, empty);
        Window w;
        QStringList values = {QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"),
                              QStringLiteral("Hi")};
        values[empty].clear();
        w.fill(values[0], values[1], values[2], values[3]);
        w.form->cmdSend->click();
        QCOMPARE(w.fakes.boxes->shown.size(), 1);
        QCOMPARE(w.fakes.boxes->shown.first().text, QStringLiteral("The nature don't like emptiness."));
        QCOMPARE(w.fakes.boxes->shown.first().style, 16);
        QVERIFY(w.fakes.mailslots->opened.isEmpty());
        QVERIFY(w.form->FromHistory->Entries().isEmpty());
        QVERIFY(w.form->ToHistory->Entries().isEmpty());
        QVERIFY(w.form->ComputerHistory->Entries().isEmpty());
        QVERIFY(w.dataFiles().isEmpty());
        QCOMPARE(w.form->MousePointer(), 0);
        for (QWidget* control : {static_cast<QWidget*>(w.form->txtMessage), static_cast<QWidget*>(w.form->txtFrom),
                                 static_cast<QWidget*>(w.form->cmdSend), static_cast<QWidget*>(w.form->lblTag[2])})
            QVERIFY(control->isEnabled());
        QCOMPARE(w.form->txtFrom->text(), values[0]);
        QCOMPARE(w.form->txtMessage->Text(), values[3]);
        w.settle();
        QVERIFY(w.form->isVisible());
    }

    void blanksCountAsFilled() {
        Window w;
        w.fill(QStringLiteral(" "), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral(" "));
        w.form->cmdSend->click();
        QVERIFY(w.fakes.boxes->shown.isEmpty());
        QCOMPARE(w.fakes.mailslots->delivered.value(0), QByteArray(" \0Bob\0 \0", 8));
        QVERIFY(w.closesSoon());
    }

    void mailslotThatCannotBeOpened() {
        Window w;
        w.fakes.mailslots->failOpen = true;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC 7\\x"), QStringLiteral("Hi"));
        w.form->cmdSend->click();
        QCOMPARE(w.fakes.boxes->shown.size(), 1);
        QCOMPARE(w.fakes.boxes->shown.first().text,
                 QStringLiteral("\\\\PC 7\\x\\mailslot\\messngr\r\n\r\nCan't open mailslot."));
        QCOMPARE(w.fakes.boxes->shown.first().style, 16);
        QCOMPARE(w.form->ComputerHistory->Entries(), QStringList{QStringLiteral("PC 7\\x")});
        QVERIFY(w.dataFiles().isEmpty());
        w.settle();
        QVERIFY(w.form->isVisible());
        QCOMPARE(w.form->txtComputer->text(), QStringLiteral("PC 7\\x"));
        QCOMPARE(w.form->txtMessage->Text(), QStringLiteral("Hi"));
        QVERIFY(w.form->cmdSend->isEnabled());

        // The names are stored when the window later closes, and offered at the next start.
        w.close();
        w.open();
        QCOMPARE(w.form->FromHistory->Entries(), QStringList{QStringLiteral("Ann")});
        QCOMPARE(w.form->ComputerHistory->Entries(), QStringList{QStringLiteral("PC 7\\x")});
    }

    void failedWriteIsNotDelivered() {
        Window w;
        w.fakes.mailslots->failWrite = true;
        w.fakes.mailslots->writeFailureReason = QStringLiteral("The message has 500 bytes; at most 424 fit.");
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        w.form->cmdSend->click();
        QCOMPARE(w.fakes.boxes->shown.size(), 1);
        QCOMPARE(w.fakes.boxes->shown.first().text,
                 QStringLiteral("\\\\PC7\\mailslot\\messngr\r\n\r\nCan't write to mailslot.\r\n"
                                "The message has 500 bytes; at most 424 fit."));
        QCOMPARE(w.fakes.boxes->shown.first().style, 16);
        QCOMPARE(w.fakes.mailslots->openFiles, 0);
        QVERIFY(w.dataFiles().isEmpty());
        w.settle();
        QVERIFY(w.form->isVisible());
        QCOMPARE(w.form->txtMessage->Text(), QStringLiteral("Hi"));
    }

    void localCopyRetriedOrGivenUp_data() {
        QTest::addColumn<int>("failures");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<bool>("saved");
        QTest::newRow("retry succeeds") << 1 << QList<int>{4} << true;
        QTest::newRow("retry twice") << 2 << QList<int>{4, 4} << true;
        QTest::newRow("cancel") << 1 << QList<int>{2} << false;
        QTest::newRow("any answer but Retry gives up") << 1 << QList<int>{1} << false;
    }
    void localCopyRetriedOrGivenUp() {
        QFETCH(int, failures);
        QFETCH(QList<int>, answers);
        QFETCH(bool, saved);
        Window w;
        auto writer = std::make_shared<FlakyWriter>(failures);
        platform::services().textFileWriter = writer;
        for (int answer : answers)
            w.fakes.boxes->answers.push_back(answer);
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        w.form->cmdSend->click();
        QCOMPARE(w.fakes.boxes->shown.size(), answers.size());
        for (const test::ShownMessage& shown : w.fakes.boxes->shown) {
            QCOMPARE(shown.text, QDir::toNativeSeparators(w.copyPath()) +
                                     QStringLiteral("\r\n\r\nCan't write file. Local copy of this message "
                                                    "was not saved."));
            QCOMPARE(shown.style, 21);
            QCOMPARE(shown.title, QStringLiteral("Kestrine - Pellora"));
            QCOMPARE(shown.detail, QStringLiteral("Disk full"));
        }
        QCOMPARE(w.dataFiles().size(), saved ? 1 : 0);
        QVERIFY(w.closesSoon()); // delivered: the window closes whatever became of the copy
    }

    void controlsAreDisabledWhileSending() {
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        QList<QWidget*> enabledDuringSend;
        int pointer = -1;
        QList<QWidget*> ownPointerDuringSend; // the hourglass covers the whole window, the fields too
        int nestedOpens = 0;
        w.fakes.mailslots->onOpen = [&](const QString&) {
            for (QWidget* child : w.form->findChildren<QWidget*>()) {
                if (child->isEnabled() && child->parentWidget() == w.form.get())
                    enabledDuringSend.append(child);
                if (child->cursor().shape() != Qt::WaitCursor)
                    ownPointerDuringSend.append(child);
            }
            pointer = w.form->MousePointer();
            // Neither a click nor a send key starts a second send inside this one.
            const qsizetype before = w.fakes.mailslots->opened.size();
            w.form->cmdSend->click();
            w.form->cmdSend_Click();
            nestedOpens = int(w.fakes.mailslots->opened.size() - before);
        };
        w.form->cmdSend->click();
        QCOMPARE(enabledDuringSend, QList<QWidget*>{w.form->cmdSettings});
        QCOMPARE(pointer, 11);
        QCOMPARE(ownPointerDuringSend, QList<QWidget*>{});
        QCOMPARE(nestedOpens, 0);
        QCOMPARE(w.fakes.mailslots->delivered.size(), 1);
        QCOMPARE(w.form->MousePointer(), 0);
        QCOMPARE(w.form->txtTo->cursor().shape(), Qt::IBeamCursor);
        QCOMPARE(w.form->txtMessage->viewport()->cursor().shape(), Qt::IBeamCursor);
    }

    void closeAskedForDuringASendWaitsForIt() {
        Window w;
        w.fakes.mailslots->failOpen = true;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        w.fakes.mailslots->onOpen = [&](const QString&) { w.form->close(); };
        w.form->cmdSend->click();
        QVERIFY(w.form->FromHistory != nullptr); // not unloaded inside the send
        QVERIFY(w.closesSoon());
        QVERIFY(w.form->FromHistory == nullptr);
    }

    // A send that leaves the window open gives the focus back to the control that had it, not
    // to the one button that stays enabled during a send.
    void focusComesBackAfterAFailedSend_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("failure");
        QTest::newRow("click, empty field") << "click"
                                            << "cmdSend"
                                            << "empty";
        QTest::newRow("Ctrl+Enter, no mailslot") << "ctrl+enter"
                                                 << "txtMessage"
                                                 << "open";
        QTest::newRow("Enter in the recipient, write fails") << "enter"
                                                             << "txtTo"
                                                             << "write";
        QTest::newRow("F5 in the computer, no mailslot") << "f5"
                                                         << "txtComputer"
                                                         << "open";
        QTest::newRow("F12 in the message, empty field") << "f12"
                                                         << "txtMessage"
                                                         << "empty";
    }
    void focusComesBackAfterAFailedSend() {
        QFETCH(QString, how);
        QFETCH(QString, control);
        QFETCH(QString, failure);
        Window w;
        w.fill(QStringLiteral("Ann"), failure == QLatin1String("empty") ? QString() : QStringLiteral("Bob"),
               QStringLiteral("PC7"), QStringLiteral("Hi"));
        w.fakes.mailslots->failOpen = failure == QLatin1String("open");
        w.fakes.mailslots->failWrite = failure == QLatin1String("write");
        const QStringList options{QStringLiteral("ctrl+enter"), QStringLiteral("enter"), QStringLiteral("f5"),
                                  QStringLiteral("f12")};
        w.form->SetSendHotkeyOption(std::max(0, int(options.indexOf(how))));
        auto* target = w.form->findChild<QWidget*>(control);
        const QMap<QString, QPair<Qt::Key, Qt::KeyboardModifiers>> keys{
            {QStringLiteral("click"), {Qt::Key_Space, Qt::NoModifier}},
            {QStringLiteral("ctrl+enter"), {Qt::Key_Return, Qt::ControlModifier}},
            {QStringLiteral("enter"), {Qt::Key_Return, Qt::NoModifier}},
            {QStringLiteral("f5"), {Qt::Key_F5, Qt::NoModifier}},
            {QStringLiteral("f12"), {Qt::Key_F12, Qt::NoModifier}}};
        w.key(target, keys[how].first, keys[how].second);
        QCOMPARE(w.fakes.boxes->shown.size(), 1);
        QVERIFY(w.form->isVisible());
        QCOMPARE(QApplication::focusWidget(), target);
        // Typing goes on where it was: the text is not selected again, so nothing is replaced.
        if (auto* field = qobject_cast<QLineEdit*>(target)) {
            const QString before = field->text();
            QTest::keyClicks(field, QStringLiteral("!"));
            QCOMPARE(field->text(), before + QLatin1Char('!'));
        }
    }

    // The message leaves as typed: a no-break space or a pasted line separator stays what it is,
    // and each line break of the field is CR LF.
    void messageIsSentAsTyped_data() {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QByteArray>("bytes"); // in code page 437
        QTest::newRow("no-break space") << QStringLiteral("a\u00a0b") << QStringLiteral("a\u00a0b")
                                        << QByteArray("a\xFF"
                                                      "b");
        QTest::newRow("line separator") << QStringLiteral("a\u2028b") << QStringLiteral("a\u2028b")
                                        << QByteArray("a?b");
        QTest::newRow("paragraph break") << QStringLiteral("a\u2029b") << QStringLiteral("a\r\nb")
                                         << QByteArray("a\r\nb");
        QTest::newRow("LF") << QStringLiteral("a\nb\n") << QStringLiteral("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("tab and blanks") << QStringLiteral(" \ta  ") << QStringLiteral(" \ta  ") << QByteArray(" \ta  ");
    }
    void messageIsSentAsTyped() {
        QFETCH(QString, pasted);
        QFETCH(QString, sent);
        QFETCH(QByteArray, bytes);
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QString());
        w.form->txtMessage->insertPlainText(pasted); // what a paste does
        QCOMPARE(w.form->txtMessage->Text(), sent);
        w.form->cmdSend->click();
        QCOMPARE(w.fakes.mailslots->delivered.size(), 1);
        QCOMPARE(w.fakes.mailslots->delivered.first(), QByteArray("Ann\0Bob\0", 8) + bytes + QByteArray(1, '\0'));
        QVERIFY(test::ReadFile(w.copyPath()).endsWith("\r\n\r\n" + sent.toUtf8()));
    }

    void sameSecondSendsKeepBothCopies() {
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("first"));
        w.form->cmdSend->click();
        QVERIFY(w.closesSoon());
        w.open();
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("second"));
        w.form->cmdSend->click();
        QVERIFY(w.closesSoon());
        QCOMPARE(w.dataFiles(), (QStringList{QStringLiteral("Message 2016-02-24 10-01-05 (2).TXT"),
                                             QStringLiteral("Message 2016-02-24 10-01-05.TXT")}));
        QVERIFY(test::ReadFile(w.copyPath()).endsWith("first"));
        QVERIFY(test::ReadFile(w.copyPath(QStringLiteral("Message 2016-02-24 10-01-05 (2).TXT"))).endsWith("second"));
    }
};

PELLORA_TEST_MAIN(SendTest)
#include "SendTest.moc"
