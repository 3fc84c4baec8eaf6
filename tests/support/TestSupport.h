#pragma once

// Shared test fixtures: a temporary home folder, and fakes for the platform services.

#include "platform/components/Components.h"
#include "platform/mailslot/Mailslots.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/Services.h"
#include "platform/support/Shell.h"
#include "platform/window/FormHelper.h"
#include "platform/window/WindowServices.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>

class QMenu;

namespace pellora::test {

// Points HOME and the XDG folders at a fresh temporary folder for the life of the object. On
// Windows it also gives the process a registry of its own for HKEY_CURRENT_USER (a key of the
// test's, removed afterwards) whose application-data folder is in that temporary folder, so
// that the program's settings and files land there; when the system does not follow, the test
// ends at once rather than touch the account's own.
class TestHome {
public:
    TestHome();
    ~TestHome();
    QString path() const { return dir_.path(); }
    QString dataHome() const;   // $XDG_DATA_HOME; on Windows the application-data folder
    QString configHome() const; // $XDG_CONFIG_HOME

private:
    QTemporaryDir dir_;
    QList<QPair<QByteArray, QByteArray>> saved_;
    QString registryKey_; // Windows: under HKEY_CURRENT_USER, the test's own
};

struct ShownMessage {
    QString text;
    int style = 0;
    QString title;
    QString detail;
};

// Records every message box and answers from a script (OK/Cancel by default).
class FakeMessageBoxes : public platform::MessageBoxes {
public:
    platform::MsgBoxResult Show(const QString& text, platform::MsgBoxStyle style, const QString& title,
                                const QString& detail) override;
    QList<ShownMessage> shown;    // with the style's number
    std::deque<int> answers;      // next answers; when empty: 1 (OK) for style 16, 2 (Cancel) otherwise
    std::function<void()> onShow; // runs while the box is up, as a real box's event loop would
};

// A mailslot network in memory. Its files take what the real transport takes: a message of up
// to MaxMessageBytes(path), one mailslot datagram; a longer one is refused with the real
// transport's reason, and nothing is delivered.
class FakeMailslots : public platform::Mailslots {
public:
    std::unique_ptr<platform::MailslotFile> Open(const QString& path, QString* reason) override;
    QStringList opened;                              // every path asked for
    QList<QByteArray> delivered;                     // every message written
    int openFiles = 0;                               // files opened and not yet closed
    std::function<void(const QString& path)> onOpen; // runs inside Open, before it answers
    bool failOpen = false;
    QString openFailureReason; // what a failing Open gives as its reason
    bool failWrite = false;
    QString writeFailureReason;

    // The most bytes one write to `path` (\\PC7\mailslot\messngr) carries: 424 for messngr.
    static int MaxMessageBytes(const QString& path);
};

class FakeClock : public platform::Clock {
public:
    QDateTime Now() override { return now; }
    QDateTime now = QDateTime(QDate(2016, 2, 24), QTime(10, 1, 5));
};

// Records about boxes; presses buttons as the real helper does.
class FakeFormHelper : public platform::FormHelper {
public:
    void ShowAbout(QWidget* owner, const AppObject& app, const QString& extra, const QPixmap* picture,
                   const QString& dedication) override;
    void PressButton(QAbstractButton* button) override;
    int aboutShown = 0;
    std::function<void()> onAbout; // runs while the box is up
    QWidget* aboutOwner = nullptr;
    QString dedication;
    int pressed = 0;
};

// Records the ends of the program that the top-level error handler asks for.
struct TerminateRecorder {
    QList<int> statuses;
};

// Installs fresh fakes for message boxes, mailslots, the clock, the form helper and the end of
// the program;
// the other services stay real. Returns the fakes.
struct Fakes {
    std::shared_ptr<FakeMessageBoxes> boxes;
    std::shared_ptr<FakeMailslots> mailslots;
    std::shared_ptr<FakeClock> clock;
    std::shared_ptr<TerminateRecorder> terminated;
    std::shared_ptr<FakeFormHelper> formHelper;
};
Fakes InstallFakes();

// Reads a whole file; empty when it does not exist.
// The bytes of a hex dump whose lines read "0000: 41 6e 6e ..." (the reference datagram's file);
// empty when the file cannot be read.
QByteArray ReadHexDump(const QString& path);

QByteArray ReadFile(const QString& path);

// Writes `bytes` as the whole file at `path`, making its folders; a failure fails the test.
void WriteFile(const QString& path, const QByteArray& bytes);

// Runs `act` on the pop-up menu as soon as one is open; closes any menu still open after five
// seconds so that a failing test cannot hang.
void WhenMenuOpens(std::function<void(QMenu*)> act);

// The permission bits of `path` (07777 of its mode), -1 when it does not exist; -1 on Windows.
int FileMode(const QString& path);

// The identity of the file at `path`, which a write that replaces the file changes: its inode,
// on Windows its file index; 0 when it does not exist.
quint64 FileId(const QString& path);

// The data folder of the innermost TestHome ($XDG_DATA_HOME; on Windows %APPDATA%), with '/'.
QString DataHome();

// The program's settings (company "Orvane", application `app`) where the system keeps them: on
// Linux the file $XDG_CONFIG_HOME/Orvane/<app>.ini, on Windows the registry key
// HKEY_CURRENT_USER\Software\Orvane\<app>.
QString SettingsLocation(const QString& app = QStringLiteral("Pellora"));
// Stores `ini`, an INI file as a person would edit it, there: on Linux as that file; on Windows
// what it holds as regedit would, each value as its text (REG_SZ, a list REG_MULTI_SZ).
void EditSettings(const QByteArray& ini, const QString& app = QStringLiteral("Pellora"));
// What is stored there: on Linux the file's bytes; on Windows a line "name: REG_SZ text" or
// "name: REG_DWORD n" (LF-terminated) for each value of the key, in name order. Reads only.
QByteArray StoredSettings(const QString& app = QStringLiteral("Pellora"));
// One stored value: as Qt reads it from the INI file; on Windows the registry value's text (a
// list's parts joined by '|'), or its number for a REG_DWORD. Invalid when there is none.
QVariant StoredValue(const QString& key, const QString& app = QStringLiteral("Pellora"));
// Changes whenever the stored settings are written, and only then: the file's FileId on Linux
// (each write replaces the file), the key's last write time on Windows (which then waits for
// the system clock's next tick, so that a later write shows); 0 when nothing is stored.
quint64 SettingsStamp(const QString& app = QStringLiteral("Pellora"));
// Removes every stored setting of the company (its folder, or its registry key).
void RemoveSettings();
// Makes the settings impossible to store until RemoveSettings: a file where the company's folder
// belongs; on Windows a volatile company key, below which no lasting key can be made.
void BlockSettings();

// Sets the process's umask for the life of the object (nothing on Windows).
class ScopedUmask {
public:
    explicit ScopedUmask(int mask);
    ~ScopedUmask();
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    int saved_ = 0;
};

// Runs the test functions of `testObject` as QTest::qExec does, and returns its status, except
// that a run in which every function passed or skipped and at least one skipped returns 77
// (CTest's SKIP_RETURN_CODE for these tests, see tests/CMakeLists.txt): a test that did not
// run is reported as not run, never as passed.
int RunTests(QObject& testObject, int argc, char** argv);

} // namespace pellora::test

// main() for a Qt Test class: a temporary home, offscreen platform unless one is set,
// a QApplication, then the tests (exit status 77 when any of them skipped).
#define PELLORA_TEST_MAIN(TestClass)                                                                                   \
    int main(int argc, char** argv) {                                                                                  \
        pellora::test::TestHome home;                                                                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                            \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                                   \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        pellora::platform::UseWindowServices();                                                                        \
        TestClass tc;                                                                                                  \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return pellora::test::RunTests(tc, argc, argv);                                                                \
    }
