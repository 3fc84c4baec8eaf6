// What a screen reader finds in the main window and the settings dialog: every control has a
// name and a description, the right role, and each field is labelled by its label.

#include "support/WindowFixture.h"

#include "ui/frmSettings.h"

#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>

using namespace pellora;
using test::Window;

namespace {

QAccessibleInterface* Interface(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    if (iface == nullptr || !iface->isValid())
        return nullptr;
    return iface;
}

QString Name(QObject* object) { return Interface(object)->text(QAccessible::Name); }

// Checks name, description and role as the accessibility tree reports them.
void CheckControl(QWidget* control, const QString& name, QAccessible::Role role) {
    QAccessibleInterface* iface = Interface(control);
    QVERIFY2(iface != nullptr, qPrintable(control->objectName()));
    QCOMPARE(iface->object(), control);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QVERIFY2(!iface->text(QAccessible::Description).trimmed().isEmpty(), qPrintable(control->objectName()));
    QCOMPARE(iface->role(), role);
}

// The label names the field, and the field knows the label that names it.
void CheckLabelled(QLabel* label, QWidget* field) {
    QCOMPARE(label->buddy(), field);
    QAccessibleInterface* fieldIface = Interface(field);
    QVERIFY(fieldIface != nullptr);
    const auto labelledBy = fieldIface->relations(QAccessible::Label);
    QCOMPARE(labelledBy.size(), 1);
    QCOMPARE(labelledBy.first().first->object(), label);
    QAccessibleInterface* labelIface = Interface(label);
    QVERIFY(labelIface != nullptr);
    const auto labels = labelIface->relations(QAccessible::Labelled);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first().first->object(), field);
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void mainWindowFields() {
        Window w;
        frmMain& f = *w.form;
        CheckControl(f.txtFrom, QStringLiteral("From:"), QAccessible::EditableText);
        CheckControl(f.txtTo, QStringLiteral("To:"), QAccessible::EditableText);
        CheckControl(f.txtComputer, QStringLiteral("Computer:"), QAccessible::EditableText);
        CheckControl(f.txtMessage, QStringLiteral("Message"), QAccessible::EditableText);
    }

    void mainWindowLabels() {
        Window w;
        frmMain& f = *w.form;
        CheckControl(f.lblTag[0], QStringLiteral("From:"), QAccessible::StaticText);
        CheckControl(f.lblTag[1], QStringLiteral("To:"), QAccessible::StaticText);
        CheckControl(f.lblTag[2], QStringLiteral("Computer:"), QAccessible::StaticText);
        CheckLabelled(f.lblTag[0], f.txtFrom);
        CheckLabelled(f.lblTag[1], f.txtTo);
        CheckLabelled(f.lblTag[2], f.txtComputer);
    }

    void mainWindowButtons() {
        Window w;
        frmMain& f = *w.form;
        CheckControl(f.cmdFromHistory, QStringLiteral("Sender history"), QAccessible::Button);
        CheckControl(f.cmdToHistory, QStringLiteral("Recipient history"), QAccessible::Button);
        CheckControl(f.cmdComputerHistory, QStringLiteral("Computer history"), QAccessible::Button);
        CheckControl(f.cmdSendHotkeyOption, QStringLiteral("Ctrl+Enter"), QAccessible::Button);
        CheckControl(f.cmdSettings, QStringLiteral("Settings"), QAccessible::Button);
        CheckControl(f.cmdOpenDataPath, QStringLiteral("Open data folder"), QAccessible::Button);
        CheckControl(f.cmdSend, QStringLiteral("Send"), QAccessible::Button);
    }

    // The send key button always says the key that sends at the moment.
    void sendKeyButtonFollowsTheOption() {
        Window w;
        frmMain& f = *w.form;
        const QString keys[] = {QStringLiteral("Enter"), QStringLiteral("F5"), QStringLiteral("F12"),
                                QStringLiteral("Ctrl+Enter")};
        for (const QString& key : keys) {
            f.cmdSendHotkeyOption->click();
            QCOMPARE(Name(f.cmdSendHotkeyOption), key);
        }
    }

    void mainWindowItself() {
        Window w;
        QAccessibleInterface* iface = Interface(w.form.get());
        QVERIFY(iface != nullptr);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Pellora"));
        QVERIFY(!iface->text(QAccessible::Description).isEmpty());
        // Qt reports a plain widget window as the client area of its frame.
        QCOMPARE(iface->role(), QAccessible::Client);
    }

    // Every control of the window is in the tree under it, named and described.
    void everyChildIsNamed() {
        Window w;
        QAccessibleInterface* window = Interface(w.form.get());
        QVERIFY(window != nullptr);
        int controls = 0;
        for (int i = 0; i < window->childCount(); ++i) {
            QAccessibleInterface* child = window->child(i);
            QVERIFY(child != nullptr);
            auto* widget = qobject_cast<QWidget*>(child->object());
            if (widget == nullptr || widget->isWindow())
                continue;
            ++controls;
            QVERIFY2(!child->text(QAccessible::Name).isEmpty(), qPrintable(widget->objectName()));
            QVERIFY2(!child->text(QAccessible::Description).isEmpty(), qPrintable(widget->objectName()));
        }
        QCOMPARE(controls, 3 + 4 + 7); // labels, fields, buttons
    }

    void settingsDialog() {
        Window w;
        frmSettings dialog(w.values);
        dialog.Load();
        QAccessibleInterface* iface = Interface(&dialog);
        QVERIFY(iface != nullptr);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Settings"));
        QVERIFY(!iface->text(QAccessible::Description).isEmpty());
        QCOMPARE(iface->role(), QAccessible::Dialog);
        CheckControl(dialog.fraMisc, QStringLiteral("Misc"), QAccessible::Grouping);
        CheckControl(dialog.chkTempFilePrefix, QStringLiteral("Use \"~$\" prefix for TXT files"),
                     QAccessible::CheckBox);
        CheckControl(dialog.cmdOk, QStringLiteral("Ok"), QAccessible::Button);
        CheckControl(dialog.cmdCancel, QStringLiteral("Cancel"), QAccessible::Button);
    }
};

PELLORA_TEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
