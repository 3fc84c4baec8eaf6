#pragma once

// A main window as the program shows it, with fake network, clock, message boxes and form
// helper, a temporary home and data folder.

#include "archive/LocalCopy.h"
#include "platform/components/HistoryList.h"
#include "platform/runtime/App.h"
#include "state/AppValues.h"
#include "support/TestSupport.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace pellora::test {

// The date line of a copy sent at FakeClock's time, in the C locale that the window tests set
// (LC_ALL=C). Windows takes the formats from the account instead: a U.S. English one's, which
// the tests check (scripts/test-windows runs Wine so).
#ifdef Q_OS_WIN
inline const QByteArray kSentDate = "2/24/2016 10:01:05 AM";
#else
inline const QByteArray kSentDate = "02/24/2016 10:01:05";
#endif

// Sets the C locale for the window tests; on Windows checks for the U.S. English account.
inline void UseCLocale() {
    qputenv("LC_ALL", "C");
#ifdef Q_OS_WIN
    QCOMPARE(QLocale::system().name(), QStringLiteral("en_US"));
#endif
}

struct Window {
    std::unique_ptr<TestHome> home = std::make_unique<TestHome>();
    Fakes fakes = InstallFakes();
    // The program-wide values, as start-up hands them to the window.
    AppValues values;
    std::unique_ptr<frmMain> form;

    Window() {
        values.DataPath = home->dataHome() + QStringLiteral("/Orvane/Pellora");
        QDir().mkpath(values.DataPath);
        open();
    }
    ~Window() { form.reset(); }

    // Loads and shows a fresh window (as the next start of the program would).
    void open() {
        form = std::make_unique<frmMain>(values);
        form->Load();
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    // Closes the window as the user would and waits for the unload.
    void close() {
        form->close();
        QCoreApplication::processEvents();
    }

    void fill(const QString& from, const QString& to, const QString& computer, const QString& message) {
        form->txtFrom->setText(from);
        form->txtTo->setText(to);
        form->txtComputer->setText(computer);
        form->txtMessage->SetText(message);
    }

    // Sends a key to a control that has the focus, as the keyboard would.
    void key(QWidget* control, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        control->setFocus(Qt::OtherFocusReason);
        QCOMPARE(QApplication::focusWidget(), control);
        QTest::keyClick(control, key, modifiers);
    }

    // Handles every event posted so far (a close the window has queued among them): what has not
    // happened by then was not asked for.
    void settle() {
        bool reached = false;
        QMetaObject::invokeMethod(
            form.get(), [&reached] { reached = true; }, Qt::QueuedConnection);
        QTRY_VERIFY(reached);
    }

    // Lets the queued close of a finished send happen.
    bool closesSoon() {
        QElapsedTimer timer;
        timer.start();
        while (form->isVisible() && timer.elapsed() < 2000)
            QTest::qWait(5);
        return !form->isVisible();
    }

    QString copyPath(const QString& name = QStringLiteral("Message 2016-02-24 10-01-05.TXT")) const {
        return values.DataPath + QLatin1Char('/') + name;
    }

    QStringList dataFiles() const {
        return QDir(values.DataPath).entryList({QStringLiteral("*.TXT")}, QDir::Files, QDir::Name);
    }
};

} // namespace pellora::test
