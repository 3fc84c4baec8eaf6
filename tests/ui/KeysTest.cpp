// Keys of the main window: about box, Escape, send keys, Ctrl+A, select-on-focus, Enter, pasting.

#include "support/WindowFixture.h"

#include <QClipboard>
#include <QMenu>
#include <QPointer>
#include <QTimer>

using namespace pellora;
using test::Window;

class KeysTest : public QObject {
    Q_OBJECT

private slots:
    void aboutBoxOnlyWithShiftF1_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("shown");
        QTest::newRow("Shift+F1") << int(Qt::ShiftModifier) << true;
        QTest::newRow("F1") << int(Qt::NoModifier) << false;
        QTest::newRow("Ctrl+Shift+F1") << int(Qt::ShiftModifier | Qt::ControlModifier) << false;
        QTest::newRow("Alt+Shift+F1") << int(Qt::ShiftModifier | Qt::AltModifier) << false;
    }
    void aboutBoxOnlyWithShiftF1() {
        QFETCH(int, modifiers);
        QFETCH(bool, shown);
        Window w;
        for (QWidget* control : {static_cast<QWidget*>(w.form->txtMessage), static_cast<QWidget*>(w.form->txtFrom),
                                 static_cast<QWidget*>(w.form->cmdSend)})
            w.key(control, Qt::Key_F1, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w.fakes.formHelper->aboutShown, shown ? 3 : 0);
        if (shown) {
            QCOMPARE(w.fakes.formHelper->aboutOwner, w.form.get());
            QCOMPARE(w.fakes.formHelper->dedication.size(), 6);
        }
    }

    void escapeClosesAndStores() {
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("unsent"));
        w.key(w.form->txtMessage, Qt::Key_Escape, Qt::ShiftModifier);
        QVERIFY(w.form->isVisible());
        w.key(w.form->txtMessage, Qt::Key_Escape);
        QVERIFY(!w.form->isVisible());
        QVERIFY(w.form->FromHistory == nullptr); // unloaded: lists saved and released
        QVERIFY(w.fakes.mailslots->opened.isEmpty());
        QVERIFY(w.dataFiles().isEmpty());
        QVERIFY(QFileInfo::exists(w.values.DataPath + QStringLiteral("/From History.DAT")));
        w.open();
        QCOMPARE(w.form->txtFrom->text(), QStringLiteral("Ann"));
        QVERIFY(w.form->txtMessage->Text().isEmpty()); // the message is never kept
    }

    void tabSelectsTheWholeName() {
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QString());
        w.key(w.form->txtFrom, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.form->cmdFromHistory);
        QTest::keyClick(w.form->cmdFromHistory, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.form->txtTo);
        QCOMPARE(w.form->txtTo->selectedText(), QStringLiteral("Bob"));
        QTest::keyClicks(w.form->txtTo, QStringLiteral("Eve"));
        QCOMPARE(w.form->txtTo->text(), QStringLiteral("Eve"));
        // Shift+Tab goes back; Tab in the message field moves on instead of typing a tab.
        QTest::keyClick(w.form->txtTo, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), w.form->cmdFromHistory);
        w.key(w.form->txtMessage, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.form->cmdSendHotkeyOption);
        QVERIFY(w.form->txtMessage->Text().isEmpty());
        // Disabled controls are skipped.
        w.form->cmdSettings->setEnabled(false);
        QTest::keyClick(w.form->cmdSendHotkeyOption, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.form->cmdOpenDataPath);
    }

    void focusStartsInTheMessage() {
        Window w;
        QCOMPARE(QApplication::focusWidget(), w.form->txtMessage);
    }

    void optionButtonCycles() {
        Window w;
        const QStringList captions = {QStringLiteral("Enter"), QStringLiteral("F5"), QStringLiteral("F12"),
                                      QStringLiteral("Ctrl+Enter")};
        for (int click = 0; click < 4; ++click) {
            w.form->cmdSendHotkeyOption->click();
            const int option = (click + 1) % 4;
            QCOMPARE(w.form->cmdSendHotkeyOption->text(), captions[click]);
            QCOMPARE(w.form->cmdSendHotkeyOption->property("Tag").toString(), QString::number(option));
            QCOMPARE(w.form->cmdSend->isDefault(), option == 1);
        }
        // A tag that is no number reads as option 0; the next click sets option 1.
        w.form->cmdSendHotkeyOption->setProperty("Tag", QStringLiteral("abc"));
        QCOMPARE(w.form->GetSendHotkeyOption(), 0);
        w.form->cmdSendHotkeyOption->click();
        QCOMPARE(w.form->cmdSendHotkeyOption->text(), QStringLiteral("Enter"));
        // Out-of-range options become 0.
        for (int bad : {7, -1, -2, 4}) {
            w.form->SetSendHotkeyOption(bad);
            QCOMPARE(w.form->cmdSendHotkeyOption->text(), QStringLiteral("Ctrl+Enter"));
            QCOMPARE(w.form->cmdSendHotkeyOption->property("Tag").toString(), QStringLiteral("0"));
            QVERIFY(!w.form->cmdSend->isDefault());
        }
        QCOMPARE(frmMain::SendHotkeyName(-1), QStringLiteral("?"));
        QCOMPARE(frmMain::SendHotkeyName(4), QStringLiteral("?"));
    }

    void eachOptionSendsWithItsOwnKey_data() {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("sends");
        const int ctrl = int(Qt::ControlModifier);
        const int shift = int(Qt::ShiftModifier);
        const int none = 0;
        QTest::newRow("0 Ctrl+Enter in message") << 0 << "txtMessage" << int(Qt::Key_Return) << ctrl << true;
        QTest::newRow("0 Ctrl+keypad Enter") << 0 << "txtMessage" << int(Qt::Key_Enter) << ctrl << true;
        QTest::newRow("0 Ctrl+Enter in sender") << 0 << "txtFrom" << int(Qt::Key_Return) << ctrl << false;
        QTest::newRow("0 Ctrl+Enter in computer") << 0 << "txtComputer" << int(Qt::Key_Return) << ctrl << false;
        QTest::newRow("0 Ctrl+Shift+Enter") << 0 << "txtMessage" << int(Qt::Key_Return) << (ctrl | shift) << false;
        QTest::newRow("0 Enter in message") << 0 << "txtMessage" << int(Qt::Key_Return) << none << false;
        QTest::newRow("0 Enter in sender") << 0 << "txtFrom" << int(Qt::Key_Return) << none << false;
        QTest::newRow("0 F5") << 0 << "txtMessage" << int(Qt::Key_F5) << none << false;
        QTest::newRow("1 Enter in sender") << 1 << "txtFrom" << int(Qt::Key_Return) << none << true;
        QTest::newRow("1 Enter in message") << 1 << "txtMessage" << int(Qt::Key_Return) << none << true;
        QTest::newRow("1 Ctrl+Enter in message") << 1 << "txtMessage" << int(Qt::Key_Return) << ctrl << false;
        QTest::newRow("1 Enter on the D! button") << 1 << "cmdOpenDataPath" << int(Qt::Key_Return) << none << false;
        QTest::newRow("2 F5 in sender") << 2 << "txtFrom" << int(Qt::Key_F5) << none << true;
        QTest::newRow("2 F5 on a button") << 2 << "cmdSendHotkeyOption" << int(Qt::Key_F5) << none << true;
        QTest::newRow("2 Shift+F5") << 2 << "txtMessage" << int(Qt::Key_F5) << shift << false;
        QTest::newRow("2 Ctrl+F5") << 2 << "txtMessage" << int(Qt::Key_F5) << ctrl << false;
        QTest::newRow("2 F12") << 2 << "txtMessage" << int(Qt::Key_F12) << none << false;
        QTest::newRow("2 Ctrl+Enter in message") << 2 << "txtMessage" << int(Qt::Key_Return) << ctrl << false;
        QTest::newRow("2 Enter in sender") << 2 << "txtFrom" << int(Qt::Key_Return) << none << false;
        QTest::newRow("3 F12 in message") << 3 << "txtMessage" << int(Qt::Key_F12) << none << true;
        QTest::newRow("3 F5") << 3 << "txtMessage" << int(Qt::Key_F5) << none << false;
        QTest::newRow("3 Ctrl+Enter in message") << 3 << "txtMessage" << int(Qt::Key_Return) << ctrl << false;
    }
    void eachOptionSendsWithItsOwnKey() {
        QFETCH(int, option);
        QFETCH(QString, control);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, sends);
        Window w;
        // No data folder launcher: the D! button's shell answers failure at once.
        platform::services().shell.reset();
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        w.form->SetSendHotkeyOption(option);
        auto* target = w.form->findChild<QWidget*>(control);
        QVERIFY(target != nullptr);
        if (control == QLatin1String("cmdOpenDataPath"))
            w.values.DataPath = w.home->path() + QStringLiteral("/no such folder");
        w.key(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w.fakes.mailslots->delivered.size(), sends ? 1 : 0);
        if (sends) {
            // The text as it was before the key: no line break added.
            QCOMPARE(w.fakes.mailslots->delivered.first(), QByteArray("Ann\0Bob\0Hi\0", 11));
            QVERIFY(w.closesSoon());
        } else if (control == QLatin1String("txtMessage") && key != Qt::Key_F5 && key != Qt::Key_F12 &&
                   modifiers != (int(Qt::ControlModifier) | int(Qt::ShiftModifier))) {
            // Enter and Ctrl+Enter that do not send start a new line.
            QCOMPARE(w.form->txtMessage->Text(), QStringLiteral("Hi\r\n"));
        }
    }

    void ctrlEnterWithAnEmptyFieldKeepsTheText() {
        Window w;
        w.fill(QString(), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi\r\nthere"));
        w.key(w.form->txtMessage, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(w.fakes.boxes->shown.size(), 1);
        QCOMPARE(w.fakes.boxes->shown.first().text, QStringLiteral("The nature don't like emptiness."));
        QCOMPARE(w.form->txtMessage->Text(), QStringLiteral("Hi\r\nthere"));
        QCOMPARE(w.form->txtMessage->Tag, QStringLiteral("Hi\r\nthere"));
        QVERIFY(w.form->isVisible());
    }

    void ctrlASelectsTheMessage_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("selects");
        QTest::newRow("Ctrl+A") << int(Qt::ControlModifier) << true;
        QTest::newRow("Ctrl+Shift+A") << int(Qt::ControlModifier | Qt::ShiftModifier) << false;
        QTest::newRow("Alt+A") << int(Qt::AltModifier) << false;
    }
    void ctrlASelectsTheMessage() {
        QFETCH(int, modifiers);
        QFETCH(bool, selects);
        Window w;
        w.form->txtMessage->SetText(QStringLiteral("one\r\ntwo"));
        w.key(w.form->txtMessage, Qt::Key_A, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w.form->txtMessage->textCursor().hasSelection(), selects);
        if (selects) {
            QCOMPARE(w.form->txtMessage->textCursor().selectedText(), QStringLiteral("one\u2029two"));
            QCOMPARE(w.form->txtMessage->Text(), QStringLiteral("one\r\ntwo"));
            QVERIFY(!w.form->SuppressKeyPress);
            // The next character is typed as usual.
            QTest::keyClick(w.form->txtMessage, Qt::Key_X);
            QCOMPARE(w.form->txtMessage->Text(), QStringLiteral("x"));
        }
    }

    // A handler's message box takes the focus, and on a desktop it comes back only when the
    // window is activated again; Qt meanwhile hands the same key press on to the window itself.
    void eachKeyPressIsHandledOnce_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("option");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Shift+F1 in the message") << "txtMessage" << 0 << int(Qt::Key_F1) << int(Qt::ShiftModifier);
        QTest::newRow("Shift+F1 in the sender") << "txtFrom" << 0 << int(Qt::Key_F1) << int(Qt::ShiftModifier);
        QTest::newRow("F5, a send that fails") << "txtMessage" << 2 << int(Qt::Key_F5) << 0;
        QTest::newRow("F12 on a button, a send that fails") << "cmdSendHotkeyOption" << 3 << int(Qt::Key_F12) << 0;
        QTest::newRow("Enter, a send that fails") << "txtTo" << 1 << int(Qt::Key_Return) << 0;
    }
    void eachKeyPressIsHandledOnce() {
        QFETCH(QString, control);
        QFETCH(int, option);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QString());
        w.form->SetSendHotkeyOption(option);
        // The box takes the focus from the window; the window manager activates the window again
        // once the box has gone, after the handler, so no control of it has the focus before.
        QPointer<frmMain> form = w.form.get();
        auto boxTakesFocus = [form] {
            QApplication::setActiveWindow(nullptr);
            QMetaObject::invokeMethod(
                form, [form] { QApplication::setActiveWindow(form); }, Qt::QueuedConnection);
        };
        w.fakes.formHelper->onAbout = boxTakesFocus;
        w.fakes.boxes->onShow = boxTakesFocus;
        w.key(w.form->findChild<QWidget*>(control), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        QCOMPARE(w.fakes.formHelper->aboutShown + int(w.fakes.boxes->shown.size()), 1);
    }

    // A field selects its whole text when the focus moves to it inside the window, not when the
    // window gets the focus back from another application or a menu.
    void comingBackDoesNotSelectAgain() {
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QString());
        w.key(w.form->txtTo, Qt::Key_End);
        QTest::keyClicks(w.form->txtTo, QStringLiteral("by"));
        QCOMPARE(w.form->txtTo->text(), QStringLiteral("Bobby"));
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QApplication::setActiveWindow(w.form.get());
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        QCOMPARE(QApplication::focusWidget(), w.form->txtTo);
        QVERIFY(!w.form->txtTo->hasSelectedText());
        QTest::keyClicks(w.form->txtTo, QStringLiteral("!"));
        QCOMPARE(w.form->txtTo->text(), QStringLiteral("Bobby!"));
        // A click or Tab inside the window still selects; a click in the field that has the focus
        // places the caret.
        w.key(w.form->txtFrom, Qt::Key_Tab);
        QTest::keyClick(w.form->cmdFromHistory, Qt::Key_Tab);
        QCOMPARE(w.form->txtTo->selectedText(), QStringLiteral("Bobby!"));
        QTest::mouseClick(w.form->txtFrom, Qt::LeftButton);
        QCOMPARE(w.form->txtFrom->selectedText(), QStringLiteral("Ann"));
        QTest::mouseClick(w.form->txtFrom, Qt::LeftButton);
        QVERIFY(!w.form->txtFrom->hasSelectedText());
    }

    // A name field holds one line of at most 255 characters.
    void nameFieldInput_data() {
        QTest::addColumn<QString>("start"); // set as a stored name or a history entry is; "|": the caret
        QTest::addColumn<QString>("paste");
        QTest::addColumn<QString>("result");
        QTest::newRow("paste two lines") << "B|ob" << QStringLiteral("Ann\nLee") << "BAnnob";
        QTest::newRow("stored name of two lines") << "Ann\r\nLee" << QString() << "Ann";
        QTest::newRow("paste past 255") << "|" << QString(300, QLatin1Char('x')) << QString(255, QLatin1Char('x'));
    }
    void nameFieldInput() {
        QFETCH(QString, start);
        QFETCH(QString, paste);
        QFETCH(QString, result);
        Window w;
        QLineEdit* field = w.form->txtTo;
        field->setText(QString(start).remove(QLatin1Char('|')));
        field->setFocus(Qt::OtherFocusReason);
        field->setCursorPosition(int(start.indexOf(QLatin1Char('|'))));
        QApplication::clipboard()->setText(paste);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(field->text(), result);
    }

    // A close that arrives while a handler waits in an event loop happens after the handler; a
    // second send key sends nothing. The first word runs; the keys after it are typed while it
    // waits, those after "delivery" while the message is delivered.
    void closeOrSecondSendDuringAHandler_data() {
        QTest::addColumn<QString>("during");
        QTest::addColumn<QStringList>("stored"); // the sender history the unload saved
        QTest::newRow("Escape queued behind Ctrl+Enter") << "Ctrl+Return Esc" << QStringList{"Ann"};
        QTest::newRow("close box queued behind Ctrl+Enter") << "Ctrl+Return close" << QStringList{"Ann"};
        QTest::newRow("close box while a history menu is open") << "menu close" << QStringList{"Eve"};
        QTest::newRow("Ctrl+Enter, x, Ctrl+Enter queued") << "Ctrl+Return X Ctrl+Return" << QStringList{"Ann"};
        QTest::newRow("Enter queued behind Enter") << "Return Return" << QStringList{"Ann"};
        QTest::newRow("F12 typed during the delivery") << "F12 delivery F12" << QStringList{"Ann"};
    }
    void closeOrSecondSendDuringAHandler() {
        QFETCH(QString, during);
        QFETCH(QStringList, stored);
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        QPointer<frmMain> form = w.form.get();
        auto closeBox = [form] {
            if (form)
                form->close();
        };
        const QStringList steps = during.split(QLatin1Char(' '));
        auto type = [&](const QString& step) { // to the control that has the focus when the key's turn comes
            const QKeyCombination key = QKeySequence(step)[0];
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus != nullptr ? focus : form.data(), key.key(), key.keyboardModifiers());
        };
        auto queue = [&](const QStringList& later) {
            for (const QString& step : later)
                QMetaObject::invokeMethod(
                    form, [&, step] { step == QLatin1String("close") ? closeBox() : type(step); },
                    Qt::QueuedConnection);
        };
        int dialogs = 0; // a key on the one button left enabled during a send would open the settings
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialogs += dialog->close();
        });
        closer.start(20);
        // The keys after "delivery" are queued at the first delivery only: were a second send let
        // through, it must not queue them again and again.
        int opens = 0;
        if (steps.first() == QLatin1String("menu")) {
            w.form->FromHistory->Add(QStringLiteral("Eve"));
            test::WhenMenuOpens([&](QMenu* menu) {
                closeBox();
                QTest::keyClick(menu, Qt::Key_Down); // Eve is picked as the menu goes
                QTest::keyClick(menu, Qt::Key_Return);
            });
            w.form->cmdFromHistory->click();
            QCOMPARE(w.form->txtFrom->text(), QStringLiteral("Eve"));
        } else {
            const qsizetype delivery = steps.indexOf(QStringLiteral("delivery"));
            queue(steps.mid(1, delivery < 0 ? -1 : delivery - 1));
            if (delivery > 0)
                w.fakes.mailslots->onOpen = [&](const QString&) {
                    if (opens++ == 0)
                        queue(steps.mid(delivery + 1));
                };
            w.form->SetSendHotkeyOption(int(QStringList{"Ctrl+Return", "Return", "F5", "F12"}.indexOf(steps.first())));
            w.form->txtMessage->setFocus(Qt::OtherFocusReason);
            type(steps.first());
            QCOMPARE(w.fakes.mailslots->delivered.size(), 1); // the send went through first
        }
        QVERIFY(w.closesSoon());
        QVERIFY(w.form->FromHistory == nullptr);
        QVERIFY(w.fakes.boxes->shown.isEmpty()); // no handler ran on the unloaded window
        QVERIFY(w.fakes.terminated->statuses.isEmpty());
        QCOMPARE(dialogs, 0);
        if (steps.first() != QLatin1String("menu")) {
            // Once, with the text as it was before the key.
            QCOMPARE(w.fakes.mailslots->delivered, QList<QByteArray>{QByteArray("Ann\0Bob\0Hi\0", 11)});
            QCOMPARE(w.dataFiles(), QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")});
        }
        platform::HistoryList saved;
        saved.Open(QStringLiteral("From History.DAT"), QString(), App(), QString(), -1);
        saved.Load();
        QCOMPARE(saved.Entries(), stored);
    }

    void shiftEnterStartsAPlainLine() {
        Window w;
        w.form->txtMessage->SetText(QStringLiteral("a"));
        w.key(w.form->txtMessage, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(w.form->txtMessage, QStringLiteral("b"));
        QCOMPARE(w.form->txtMessage->Text(), QStringLiteral("a\r\nb"));
    }
};

PELLORA_TEST_MAIN(KeysTest)
#include "KeysTest.moc"
