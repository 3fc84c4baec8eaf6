// Stored settings across runs, and the settings dialog.

#include "support/WindowFixture.h"

#include "ui/frmSettings.h"

#include <QCheckBox>
#include <QTimer>

using namespace pellora;
using test::Window;

namespace {

// Runs `action` on the settings dialog once it is shown modal, then lets `clickSettings` return.
void WithDialog(QPushButton* settingsButton, const std::function<void(frmSettings&)>& action) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmSettings*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        ran = true;
        action(*dialog);
        if (dialog->isVisible()) // an action that did not close it: close it as the close box does
            dialog->close();
    });
    settingsButton->click();
    QVERIFY(ran);
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void firstRunDefaults() {
        Window w;
        QVERIFY(w.form->txtFrom->text().isEmpty());
        QVERIFY(w.form->txtTo->text().isEmpty());
        QVERIFY(w.form->txtComputer->text().isEmpty());
        QCOMPARE(w.form->cmdSendHotkeyOption->text(), QStringLiteral("Ctrl+Enter"));
        QVERIFY(!w.form->cmdSend->isDefault());
        QVERIFY(!w.values.UseTempFilePrefix);
    }

    void allFiveComeBackAtTheNextStart() {
        Window w;
        w.fill(QStringLiteral("Ann Ö"), QStringLiteral("Bob; = [x]"), QStringLiteral("PC7"), QStringLiteral("secret"));
        w.form->cmdSendHotkeyOption->click();
        w.form->cmdSendHotkeyOption->click(); // F5
        w.values.UseTempFilePrefix = true;
        w.close();
        w.values.UseTempFilePrefix = false;
        w.open();
        QCOMPARE(w.form->txtFrom->text(), QStringLiteral("Ann Ö"));
        QCOMPARE(w.form->txtTo->text(), QStringLiteral("Bob; = [x]"));
        QCOMPARE(w.form->txtComputer->text(), QStringLiteral("PC7"));
        QCOMPARE(w.form->cmdSendHotkeyOption->text(), QStringLiteral("F5"));
        QVERIFY(w.values.UseTempFilePrefix);
        QVERIFY(w.form->txtMessage->Text().isEmpty());
        QVERIFY(!test::StoredSettings().contains("secret"));

        // A field emptied before closing comes back empty.
        w.form->txtTo->clear();
        w.close();
        w.open();
        QVERIFY(w.form->txtTo->text().isEmpty());
        QCOMPARE(w.form->txtFrom->text(), QStringLiteral("Ann Ö"));
    }

    void storedNamesAreTheOnesJustSent() {
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        w.form->cmdSend->click();
        QVERIFY(w.closesSoon());
        w.open();
        QCOMPARE(w.form->txtComputer->text(), QStringLiteral("PC7"));
    }

    void unusableStoredValuesStartAsDefaults_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("prefix");
        QTest::newRow("option 7") << QByteArray("Send%20Hotkey%20Option=7\n") << "Ctrl+Enter" << false;
        QTest::newRow("option -2") << QByteArray("Send%20Hotkey%20Option=-2\n") << "Ctrl+Enter" << false;
        QTest::newRow("option 3") << QByteArray("Send%20Hotkey%20Option=3\n") << "F12" << false;
        QTest::newRow("option abc") << QByteArray("Send%20Hotkey%20Option=abc\n") << "Ctrl+Enter" << false;
        QTest::newRow("option too large")
            << QByteArray("Send%20Hotkey%20Option=99999999999\n") << "Ctrl+Enter" << false;
        QTest::newRow("prefix maybe") << QByteArray("Temp%20File%20Prefix=maybe\n") << "Ctrl+Enter" << false;
        QTest::newRow("prefix true") << QByteArray("Temp%20File%20Prefix=true\n") << "Ctrl+Enter" << true;
        QTest::newRow("damaged file") << QByteArray::fromRawData("\xff\xfe[General\n=\n\x00\x01garbage", 22)
                                      << "Ctrl+Enter" << false;
    }
    void unusableStoredValuesStartAsDefaults() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, caption);
        QFETCH(bool, prefix);
        Window w;
        w.form.reset(); // gone without unloading: nothing stored
        test::EditSettings("[General]\n" + ini);
        w.open();
        QVERIFY(w.fakes.boxes->shown.isEmpty());
        QVERIFY(w.fakes.terminated->statuses.isEmpty());
        QCOMPARE(w.form->cmdSendHotkeyOption->text(), caption);
        QCOMPARE(w.values.UseTempFilePrefix, prefix);
        // The next unload writes sound values over what could not be used.
        w.close();
        const int option = test::StoredValue(QStringLiteral("Send Hotkey Option")).toInt();
        QCOMPARE(caption == QLatin1String("F12") ? 3 : 0, option);
        QCOMPARE(test::StoredValue(QStringLiteral("Temp File Prefix")).toBool(), prefix);
    }

    void dialogAgainstTheFlag_data() {
        QTest::addColumn<bool>("before");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("after");
        QTest::newRow("check, Ok") << false << "check ok" << true;
        QTest::newRow("check, Enter") << false << "check enter" << true;
        QTest::newRow("check, Enter on a focused Cancel") << false << "check cancel by enter" << false;
        QTest::newRow("check, Space on Cancel") << false << "check cancel by space" << false;
        QTest::newRow("check, Space on Ok") << false << "check ok by space" << true;
        QTest::newRow("check, Cancel") << false << "check cancel" << false;
        QTest::newRow("check, Escape") << false << "check escape" << false;
        QTest::newRow("check, close box") << false << "check close" << false;
        QTest::newRow("uncheck, Ok") << true << "check ok" << false;
        QTest::newRow("Ok unchanged, on") << true << "ok" << true;
        QTest::newRow("Ok unchanged, off") << false << "ok" << false;
    }
    void dialogAgainstTheFlag() {
        QFETCH(bool, before);
        QFETCH(QString, how);
        QFETCH(bool, after);
        Window w;
        w.values.UseTempFilePrefix = before;
        bool shown = !before;
        WithDialog(w.form->cmdSettings, [&](frmSettings& dialog) {
            shown = dialog.chkTempFilePrefix->isChecked();
            QCOMPARE(QApplication::focusWidget(), dialog.chkTempFilePrefix);
            if (how.startsWith(QLatin1String("check")))
                QTest::keyClick(dialog.chkTempFilePrefix, Qt::Key_Space); // toggles
            if (how.contains(QLatin1String(" by "))) {
                // A key on a button that has the focus clicks that button.
                QPushButton* button = how.contains(QLatin1String("cancel")) ? dialog.cmdCancel : dialog.cmdOk;
                button->setFocus(Qt::TabFocusReason);
                QTest::keyClick(button, how.endsWith(QLatin1String("enter")) ? Qt::Key_Return : Qt::Key_Space);
            } else if (how.endsWith(QLatin1String("ok")))
                dialog.cmdOk->click();
            else if (how.endsWith(QLatin1String("enter")))
                QTest::keyClick(dialog.chkTempFilePrefix, Qt::Key_Return);
            else if (how.endsWith(QLatin1String("cancel")))
                dialog.cmdCancel->click();
            else if (how.endsWith(QLatin1String("escape")))
                QTest::keyClick(dialog.chkTempFilePrefix, Qt::Key_Escape);
            // "close": left to WithDialog, as the close box
        });
        QCOMPARE(shown, before);
        QCOMPARE(w.values.UseTempFilePrefix, after);
        // A fresh dialog at the next opening shows the current flag.
        WithDialog(w.form->cmdSettings,
                   [&](frmSettings& dialog) { QCOMPARE(dialog.chkTempFilePrefix->isChecked(), after); });
        QVERIFY(w.form->isVisible());
    }

    void prefixReachesTheNextCopyAndIsStoredAtUnload() {
        Window w;
        WithDialog(w.form->cmdSettings, [](frmSettings& dialog) {
            dialog.chkTempFilePrefix->setChecked(true);
            dialog.cmdOk->click();
        });
        QVERIFY(!test::StoredSettings().contains("Prefix")); // not stored yet
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        w.form->cmdSend->click();
        QCOMPARE(w.dataFiles(), QStringList{QStringLiteral("~$Message 2016-02-24 10-01-05.TXT")});
        QVERIFY(w.closesSoon());
        QCOMPARE(test::StoredValue(QStringLiteral("Temp File Prefix")).toString(), QStringLiteral("true"));
    }

    void settingsButtonStaysUsableWhileSending() {
        Window w;
        w.fakes.mailslots->failOpen = true;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        bool enabled = false;
        w.fakes.mailslots->onOpen = [&](const QString&) { enabled = w.form->cmdSettings->isEnabled(); };
        w.form->cmdSend->click();
        QVERIFY(enabled);
    }
};

PELLORA_TEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
