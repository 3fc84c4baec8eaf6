// The main window's and the settings dialog's layout: geometry, captions, tab order, tool tips.

#include "support/TestSupport.h"
#include "ui/frmMain.h"
#include "ui/frmSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace pellora;

class LayoutTest : public QObject {
    Q_OBJECT

    AppValues values;

    static QRect px(int left, int top, int width, int height) {
        auto t = [](int twips) { return qRound(twips / 15.0); };
        return QRect(t(left), t(top), t(width), t(height));
    }

private slots:
    void initTestCase() { test::InstallFakes(); }

    void mainWindow() {
        const QFont appFont = QApplication::font();
        frmMain form(values);
        // The form's font is made the application's only while the controls are created.
        QCOMPARE(QApplication::font(), appFont);
        QCOMPARE(form.windowTitle(), QStringLiteral("Pellora"));
        QCOMPARE(form.size(), QSize(385, 325));
        QCOMPARE(form.minimumSize(), form.maximumSize()); // fixed border: no resizing
        const Qt::WindowFlags flags = form.windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QCOMPARE(form.font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(form.font().pointSize(), 9);
        QCOMPARE(form.font().weight(), QFont::Normal);
        QVERIFY(!form.font().italic() && !form.font().underline() && !form.font().strikeOut());
        QVERIFY(!form.font().kerning());
        QVERIFY(form.font().styleStrategy() & QFont::PreferNoShaping);
        for (const QWidget* control : form.findChildren<QWidget*>())
            QCOMPARE(control->font(), form.font());
        QCOMPARE(frmMain::ShapeBand(), QRect(0, 0, 109, 325));
    }

    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("txtFrom") << "txtFrom"
                                 << "" << px(1260, 120, 3975, 375) << "";
        QTest::newRow("cmdFromHistory") << "cmdFromHistory"
                                        << "H!" << px(5280, 120, 375, 375) << " History ";
        QTest::newRow("txtTo") << "txtTo"
                               << "" << px(1260, 600, 3975, 375) << "";
        QTest::newRow("cmdToHistory") << "cmdToHistory"
                                      << "H!" << px(5280, 600, 375, 375) << " History ";
        QTest::newRow("txtComputer") << "txtComputer"
                                     << "" << px(1260, 1080, 3975, 375) << "";
        QTest::newRow("cmdComputerHistory") << "cmdComputerHistory"
                                            << "H!" << px(5280, 1080, 375, 375) << " History ";
        QTest::newRow("txtMessage") << "txtMessage"
                                    << "" << px(120, 1560, 5535, 2655) << "";
        QTest::newRow("cmdSendHotkeyOption") << "cmdSendHotkeyOption"
                                             << "Ctrl+Enter" << px(120, 4320, 1215, 435) << "";
        QTest::newRow("cmdSettings") << "cmdSettings"
                                     << "S!" << px(3060, 4320, 435, 435) << " Open settings dialog ";
        QTest::newRow("cmdOpenDataPath") << "cmdOpenDataPath"
                                         << "D!" << px(3600, 4320, 435, 435) << " Open data folder ";
        QTest::newRow("cmdSend") << "cmdSend"
                                 << "Send" << px(4140, 4320, 1515, 435) << "";
    }
    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        QFETCH(QString, toolTip);
        frmMain form(values);
        auto* control = form.findChild<QWidget*>(name);
        QVERIFY(control != nullptr);
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->toolTip(), toolTip);
        QVERIFY(control->isEnabled());
        if (auto* button = qobject_cast<QPushButton*>(control))
            QCOMPARE(button->text(), caption);
        else if (auto* line = qobject_cast<QLineEdit*>(control))
            QVERIFY(line->text().isEmpty());
    }

    void labelsFitTheirCaptions_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("From") << 0 << "From:" << px(180, 160, 0, 0).topLeft();
        QTest::newRow("To") << 1 << "To:" << px(180, 640, 0, 0).topLeft();
        QTest::newRow("Computer") << 2 << "Computer:" << px(180, 1125, 0, 0).topLeft();
    }
    void labelsFitTheirCaptions() {
        QFETCH(int, index);
        QFETCH(QString, caption);
        QFETCH(QPoint, position);
        frmMain form(values);
        QLabel* label = form.lblTag[index];
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->pos(), position);
        QCOMPARE(label->size(), label->sizeHint());
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        QVERIFY(label->autoFillBackground());
        // Each label ends left of its field.
        QVERIFY(label->geometry().right() < form.txtFrom->x());
    }

    void startValues() {
        frmMain form(values);
        QCOMPARE(form.cmdSendHotkeyOption->property("Tag").toString(), QStringLiteral("0"));
        QVERIFY(form.cmdSend->isDefault());
        QCOMPARE(form.txtMessage->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(form.txtMessage->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(form.txtMessage->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QVERIFY(form.txtMessage->tabChangesFocus());
        QVERIFY(form.txtMessage->toPlainText().isEmpty());
    }

    void tabOrder() {
        frmMain form(values);
        const QList<QWidget*> expected = {
            form.txtFrom,     form.cmdFromHistory,     form.txtTo,      form.cmdToHistory,
            form.txtComputer, form.cmdComputerHistory, form.txtMessage, form.cmdSendHotkeyOption,
            form.cmdSettings, form.cmdOpenDataPath,    form.cmdSend};
        QWidget* w = form.txtFrom;
        for (int i = 1; i < expected.size(); ++i) {
            w = w->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus || !expected.contains(w))
                w = w->nextInFocusChain();
            QCOMPARE(w, expected[i]);
        }
    }

    void settingsDialog() {
        QPixmap appIcon(16, 16);
        appIcon.fill(Qt::red);
        QApplication::setWindowIcon(appIcon); // as start-up gives the program its icon
        frmSettings dialog(values);
        dialog.Load();
        // No icon: neither its own nor the application's, but one without a visible pixel.
        const QImage alpha = dialog.windowIcon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_Alpha8);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(alpha.constBits()), alpha.sizeInBytes()), QByteArray(256, 0));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(dialog.size(), QSize(401, 101));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(dialog.fraMisc->title(), QStringLiteral(" Misc "));
        QCOMPARE(dialog.fraMisc->geometry(), px(120, 60, 5775, 735));
        QCOMPARE(dialog.chkTempFilePrefix->text(), QStringLiteral("Use \"~$\" prefix for TXT files"));
        QCOMPARE(dialog.chkTempFilePrefix->text().size(), 29);
        QCOMPARE(dialog.chkTempFilePrefix->parentWidget(), dialog.fraMisc);
        QCOMPARE(dialog.chkTempFilePrefix->geometry(), px(180, 300, 2715, 255));
        QCOMPARE(dialog.cmdOk->text(), QStringLiteral("Ok"));
        QCOMPARE(dialog.cmdOk->geometry(), px(3000, 960, 1395, 435));
        QVERIFY(dialog.cmdOk->isDefault());
        QCOMPARE(dialog.cmdCancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(dialog.cmdCancel->geometry(), px(4500, 960, 1395, 435));
        QCOMPARE(dialog.chkTempFilePrefix->nextInFocusChain(), static_cast<QWidget*>(dialog.cmdOk));
        QCOMPARE(dialog.cmdOk->nextInFocusChain(), static_cast<QWidget*>(dialog.cmdCancel));
        QCOMPARE(dialog.font().family(), QStringLiteral("Tahoma"));
    }
};

PELLORA_TEST_MAIN(LayoutTest)
#include "LayoutTest.moc"
