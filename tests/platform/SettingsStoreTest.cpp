#include "platform/components/SettingsStore.h"
#include "platform/runtime/App.h"
#include "platform/support/PrivateFiles.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <limits>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace pellora;
using platform::SettingsStore;
namespace ValueKind = platform::ValueKind;
using pellora::test::ReadFile;

namespace {

// An application of its own, so that each hand-written file is read fresh.
AppObject OtherApp(const QString& name) {
    AppObject app = App();
    app.InternalName = name;
    return app;
}

#ifndef Q_OS_WIN // the INI file of Linux
QString ConfigHome() { return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")); }

QString IniPath() { return ConfigHome() + QStringLiteral("/Orvane/Pellora.ini"); }
#endif

} // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init() { test::RemoveSettings(); }
    void cleanup() { platform::ForgetProgramFolders(); }

    void location() { QCOMPARE(SettingsStore::Location(App()), test::SettingsLocation()); }

    void firstRunGivesTheDefaults_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QVariant>("defaultValue");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("text, no default") << "From" << ValueKind::Text << QVariant() << QVariant(QString());
        QTest::newRow("number, no default")
            << "Send Hotkey Option" << ValueKind::Integer << QVariant() << QVariant(QString());
        QTest::newRow("number") << "Send Hotkey Option" << ValueKind::Integer << QVariant(qint16(0))
                                << QVariant(qint16(0));
        QTest::newRow("boolean") << "Temp File Prefix" << ValueKind::Boolean << QVariant(false) << QVariant(false);
    }

    void firstRunGivesTheDefaults() {
        QFETCH(QString, key);
        QFETCH(int, kind);
        QFETCH(QVariant, defaultValue);
        QFETCH(QVariant, expected);

        SettingsStore store;
        int status = 99;
        const QVariant value = store.ReadValue(QString(), key, kind, App(), defaultValue, -1, &status);
        QCOMPARE(value, expected);
        QCOMPARE(status, 0);
        QCOMPARE(test::SettingsStamp(), quint64(0)); // reading writes nothing
    }

    void roundTrip_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("text") << "From" << ValueKind::Text << QVariant("Ann") << QVariant("Ann");
        QTest::newRow("empty text") << "From" << ValueKind::Text << QVariant(QString()) << QVariant(QString(""));
        QTest::newRow("text with comma") << "To" << ValueKind::Text << QVariant("Bob, Jr.") << QVariant("Bob, Jr.");
        QTest::newRow("text like INI syntax")
            << "Machine" << ValueKind::Text << QVariant("@x;#[a]=\"b\"\\") << QVariant("@x;#[a]=\"b\"\\");
        QTest::newRow("text unicode") << "From" << ValueKind::Text
                                      << QVariant(QString::fromUtf8("J\xC3\xB6rg \xF0\x9F\x98\x80"))
                                      << QVariant(QString::fromUtf8("J\xC3\xB6rg \xF0\x9F\x98\x80"));
        QTest::newRow("text with line break") << "From" << ValueKind::Text << QVariant("a\r\nb") << QVariant("a\r\nb");
        QTest::newRow("text starting with U+FEFF")
            << "From" << ValueKind::Text << QVariant(QChar(0xFEFF) + QString("Ann"))
            << QVariant(QChar(0xFEFF) + QString("Ann"));
        QTest::newRow("number") << "Send Hotkey Option" << ValueKind::Integer << QVariant(3) << QVariant(3);
        QTest::newRow("negative number") << "Send Hotkey Option" << ValueKind::Integer << QVariant(-2) << QVariant(-2);
        QTest::newRow("largest number") << "Send Hotkey Option" << ValueKind::Integer
                                        << QVariant(std::numeric_limits<int>::max())
                                        << QVariant(std::numeric_limits<int>::max());
        QTest::newRow("smallest number") << "Send Hotkey Option" << ValueKind::Integer
                                         << QVariant(std::numeric_limits<int>::min())
                                         << QVariant(std::numeric_limits<int>::min());
        QTest::newRow("true") << "Temp File Prefix" << ValueKind::Boolean << QVariant(true) << QVariant(true);
        QTest::newRow("false") << "Temp File Prefix" << ValueKind::Boolean << QVariant(false) << QVariant(false);
        QTest::newRow("true as -1") << "Temp File Prefix" << ValueKind::Boolean << QVariant(qint16(-1))
                                    << QVariant(true);
    }

    // What one store writes, another one reads from the disk.
    void roundTrip() {
        QFETCH(QString, key);
        QFETCH(int, kind);
        QFETCH(QVariant, written);
        QFETCH(QVariant, expected);

        {
            SettingsStore store;
            store.WriteValue(QString(), key, kind, written, App());
        }
        QVERIFY(test::SettingsStamp() != 0);
        SettingsStore next;
        const QVariant value = next.ReadValue(QString(), key, kind, App(), QVariant(QStringLiteral("default")));
        QCOMPARE(value, expected);
    }

    void fileIsPlainText() {
        SettingsStore store;
        store.WriteValue(QString(), QStringLiteral("Temp File Prefix"), ValueKind::Boolean, true, App());
        store.WriteValue(QString(), QStringLiteral("Send Hotkey Option"), ValueKind::Integer, 2, App());
        store.WriteValue(QString(), QStringLiteral("Machine"), ValueKind::Text, QStringLiteral("PC7"), App());
#ifdef Q_OS_WIN // the registry's own types, as regedit shows them
        QCOMPARE(test::StoredSettings(),
                 QByteArray("Machine: REG_SZ PC7\nSend Hotkey Option: REG_DWORD 2\nTemp File Prefix: REG_SZ true\n"));
#else
        const QByteArray ini = ReadFile(IniPath());
        QVERIFY(ini.contains("Temp%20File%20Prefix=true\n"));
        QVERIFY(ini.contains("Send%20Hotkey%20Option=2\n"));
        QVERIFY(ini.contains("Machine=PC7\n"));
#endif
    }

    void storedTextThatDoesNotConvert_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QVariant>("expected");
        const QVariant zero = QVariant(qint16(0));

        QTest::newRow("number: letters") << ValueKind::Integer << QByteArray("abc") << zero;
        QTest::newRow("number: beyond 32 bits") << ValueKind::Integer << QByteArray("99999999999") << zero;
        QTest::newRow("number: just beyond") << ValueKind::Integer << QByteArray("2147483648") << zero;
        QTest::newRow("number: fraction") << ValueKind::Integer << QByteArray("3.5") << zero;
        QTest::newRow("number: empty") << ValueKind::Integer << QByteArray("") << zero;
        QTest::newRow("number: list") << ValueKind::Integer << QByteArray("1, 2") << zero;
        QTest::newRow("number: 7 is a number") << ValueKind::Integer << QByteArray("7") << QVariant(7);
        QTest::newRow("number: blanks around") << ValueKind::Integer << QByteArray("\" -2 \"") << QVariant(-2);
        QTest::newRow("number: smallest")
            << ValueKind::Integer << QByteArray("-2147483648") << QVariant(std::numeric_limits<int>::min());

        QTest::newRow("boolean: maybe") << ValueKind::Boolean << QByteArray("maybe") << QVariant(false);
        QTest::newRow("boolean: 2") << ValueKind::Boolean << QByteArray("2") << QVariant(false);
        QTest::newRow("boolean: empty") << ValueKind::Boolean << QByteArray("") << QVariant(false);
        QTest::newRow("boolean: TRUE") << ValueKind::Boolean << QByteArray("TRUE") << QVariant(true);
        QTest::newRow("boolean: -1") << ValueKind::Boolean << QByteArray("-1") << QVariant(true);
        QTest::newRow("boolean: 1") << ValueKind::Boolean << QByteArray("1") << QVariant(true);
        QTest::newRow("boolean: False") << ValueKind::Boolean << QByteArray("False") << QVariant(false);

        QTest::newRow("text: list as typed") << ValueKind::Text << QByteArray("Ann,Bob") << QVariant("Ann, Bob");
        QTest::newRow("text: number") << ValueKind::Text << QByteArray("42") << QVariant("42");
#ifndef Q_OS_WIN // the registry keeps no file of the program's to be too large
        QTest::newRow("text: a file over 64 KiB is not read")
            << ValueKind::Text << QByteArray(64 * 1024, 'x') << QVariant(qint16(0));
#endif
    }

    // A hand-edited file never stops the program: what does not convert reads as the default,
    // and the next write puts a sound value in its place.
    void storedTextThatDoesNotConvert() {
        QFETCH(int, kind);
        QFETCH(QByteArray, stored);
        QFETCH(QVariant, expected);

        static int n = 0;
        const AppObject app = OtherApp(QStringLiteral("Convert%1").arg(++n));
        test::EditSettings("[General]\nValue=" + stored + "\n", app.InternalName);

        const QVariant defaultValue = kind == ValueKind::Boolean ? QVariant(false) : QVariant(qint16(0));
        SettingsStore store;
        QCOMPARE(store.ReadValue(QString(), QStringLiteral("Value"), kind, app, defaultValue), expected);

        const QVariant sound = kind == ValueKind::Boolean ? QVariant(true) : QVariant(1);
        store.WriteValue(QString(), QStringLiteral("Value"), kind, sound, app);
        SettingsStore next;
        QCOMPARE(next.ReadValue(QString(), QStringLiteral("Value"), kind, app, defaultValue),
                 kind == ValueKind::Text ? QVariant("1") : sound);
    }

    void damagedFileKeepsWhatCanBeRead() {
        test::EditSettings("[General]\nFrom=Ann\nTo=Bob\n[broken\nX=\"unterminated\n\xFF\xFE\n");
        SettingsStore store;
        QCOMPARE(store.ReadValue(QString(), QStringLiteral("From"), ValueKind::Text, App()), QVariant("Ann"));
        QCOMPARE(store.ReadValue(QString(), QStringLiteral("Temp File Prefix"), ValueKind::Boolean, App(), false),
                 QVariant(false));
        store.WriteValue(QString(), QStringLiteral("To"), ValueKind::Text, QStringLiteral("Cid"), App());
        SettingsStore next;
        QCOMPARE(next.ReadValue(QString(), QStringLiteral("From"), ValueKind::Text, App()), QVariant("Ann"));
        QCOMPARE(next.ReadValue(QString(), QStringLiteral("To"), ValueKind::Text, App()), QVariant("Cid"));
    }

#ifndef Q_OS_WIN // FIFOs, links and other users' files are Unix's; Windows keeps the settings in the registry
    // A settings file that is no regular file of the user's is set aside unread (a FIFO would
    // block the start); the values start afresh.
    void fileThatIsNotRegularIsSetAside_data() {
        QTest::addColumn<bool>("fifo"); // else a link of another user
        QTest::newRow("FIFO") << true;
        QTest::newRow("link of another user") << false;
    }
    void fileThatIsNotRegularIsSetAside() {
        QFETCH(bool, fifo);
        const QByteArray name = QFile::encodeName(IniPath());
        QVERIFY(QDir().mkpath(ConfigHome() + QStringLiteral("/Orvane")));
        if (fifo) {
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        } else {
            if (::geteuid() != 0)
                QSKIP("only root can give a link to another user");
            test::WriteFile(ConfigHome() + QStringLiteral("/elsewhere.ini"), "[General]\nFrom=Eve\n");
            QCOMPARE(::symlink("../elsewhere.ini", name.constData()), 0);
            QCOMPARE(::lchown(name.constData(), 65534, 65534), 0);
        }
        SettingsStore store;
        QCOMPARE(store.ReadValue(QString(), QStringLiteral("From"), ValueKind::Text, App()), QVariant(QString()));
        QVERIFY(test::FileMode(IniPath() + QStringLiteral(".damaged")) != -1);
        store.WriteValue(QString(), QStringLiteral("From"), ValueKind::Text, QStringLiteral("Ann"), App());
        QCOMPARE(ReadFile(IniPath()), QByteArray("[General]\nFrom=Ann\n"));
    }
#endif

#ifndef Q_OS_WIN // links are Unix's; Windows keeps the settings in the registry
    // Once the start has checked the settings folder, the settings are read from it and written
    // into it, whatever is put in its place later (here a link to another folder with another
    // file of settings): the bytes come from what was checked, never from the path again.
    void settingsStayInTheFolderChecked() {
        const QString folder = ConfigHome() + QStringLiteral("/Orvane");
        test::WriteFile(IniPath(), "[General]\nFrom=Ann\n");
        QCOMPARE(platform::CheckProgramFolder(folder, 1, {}, true).outcome, platform::FolderCheck::Sound);
        test::WriteFile(ConfigHome() + QStringLiteral("/theirs/Pellora.ini"), "[General]\nFrom=Eve\n");
        QVERIFY(QDir(ConfigHome()).rename(QStringLiteral("Orvane"), QStringLiteral("moved")));
        QCOMPARE(::symlink("theirs", QFile::encodeName(folder).constData()), 0);

        SettingsStore store;
        QCOMPARE(store.ReadValue(QString(), QStringLiteral("From"), ValueKind::Text, App()), QVariant("Ann"));
        store.WriteValue(QString(), QStringLiteral("To"), ValueKind::Text, QStringLiteral("Bob"), App());
        QCOMPARE(ReadFile(ConfigHome() + QStringLiteral("/moved/Pellora.ini")),
                 QByteArray("[General]\nFrom=Ann\nTo=Bob\n"));
        QCOMPARE(ReadFile(ConfigHome() + QStringLiteral("/theirs/Pellora.ini")), QByteArray("[General]\nFrom=Eve\n"));
        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir(ConfigHome() + QStringLiteral("/moved")).removeRecursively());
        QVERIFY(QDir(ConfigHome() + QStringLiteral("/theirs")).removeRecursively());
    }
#endif

    void writeReplacesTheFileWhole() {
        SettingsStore store;
        store.WriteValue(QString(), QStringLiteral("From"), ValueKind::Text, QStringLiteral("Ann"), App());
        const quint64 before = test::SettingsStamp();
        QVERIFY(before != 0);
        store.WriteValue(QString(), QStringLiteral("To"), ValueKind::Text, QStringLiteral("Bob"), App());
        QVERIFY(test::SettingsStamp() != before);
#ifdef Q_OS_WIN // each value in the registry on its own
        QCOMPARE(test::StoredSettings(), QByteArray("From: REG_SZ Ann\nTo: REG_SZ Bob\n"));
#else
        const QStringList left = QDir(ConfigHome() + QStringLiteral("/Orvane"))
                                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(left, QStringList{QStringLiteral("Pellora.ini")});
#endif
    }

    // A close stores every setting; those the file already holds are not written again.
    void unchangedValueIsNotRewritten() {
        {
            SettingsStore store;
            store.WriteValue(QString(), QStringLiteral("From"), ValueKind::Text, QStringLiteral("Ann"), App());
            store.WriteValue(QString(), QStringLiteral("Option"), ValueKind::Integer, 2, App());
            store.WriteValue(QString(), QStringLiteral("Prefix"), ValueKind::Boolean, true, App());
        }
        const quint64 written = test::SettingsStamp();
        SettingsStore store;
        store.WriteValue(QString(), QStringLiteral("From"), ValueKind::Text, QStringLiteral("Ann"), App());
        store.WriteValue(QString(), QStringLiteral("Option"), ValueKind::Integer, QStringLiteral("2"), App());
        store.WriteValue(QString(), QStringLiteral("Prefix"), ValueKind::Boolean, -1, App());
        QCOMPARE(test::SettingsStamp(), written);

        store.WriteValue(QString(), QStringLiteral("From"), ValueKind::Text, QStringLiteral("ann"), App());
        QVERIFY(test::SettingsStamp() != written);
        QCOMPARE(SettingsStore().ReadValue(QString(), QStringLiteral("From"), ValueKind::Text, App()), QVariant("ann"));

        // Edited by hand into something that reads differently: written again, soundly.
        test::EditSettings("[General]\nFrom=Ann, Bob\n");
        const quint64 edited = test::SettingsStamp();
        SettingsStore().WriteValue(QString(), QStringLiteral("From"), ValueKind::Text, QStringLiteral("Ann, Bob"),
                                   App());
        QVERIFY(test::SettingsStamp() != edited);
        QCOMPARE(SettingsStore().ReadValue(QString(), QStringLiteral("From"), ValueKind::Text, App()),
                 QVariant("Ann, Bob"));
    }

#ifndef Q_OS_WIN // Windows keeps the settings in HKEY_CURRENT_USER, the user's own, with no modes
    // The settings file and the folder made for it are private; a file from before keeps its
    // mode until a value is written into it.
    void storedFileIsPrivate() {
        const test::ScopedUmask mask(022);
        SettingsStore store;
        store.WriteValue(QString(), QStringLiteral("From"), ValueKind::Text, QStringLiteral("Ann"), App());
        QCOMPARE(test::FileMode(IniPath()), 0600);
        QCOMPARE(test::FileMode(ConfigHome() + QStringLiteral("/Orvane")), 0700);

        QVERIFY(QFile::setPermissions(IniPath(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        SettingsStore next;
        next.WriteValue(QString(), QStringLiteral("From"), ValueKind::Text, QStringLiteral("Ann"), App());
        QCOMPARE(test::FileMode(IniPath()), 0644); // unchanged, not written
        next.WriteValue(QString(), QStringLiteral("To"), ValueKind::Text, QStringLiteral("Bob"), App());
        QCOMPARE(test::FileMode(IniPath()), 0600);
        QCOMPARE(SettingsStore().ReadValue(QString(), QStringLiteral("From"), ValueKind::Text, App()), QVariant("Ann"));
    }
#endif

#ifndef Q_OS_WIN // XDG folders are Unix's
    // A relative $XDG_CONFIG_HOME is ignored: the settings go under ~/.config, never below the
    // current folder.
    void relativeXdgConfigHomeIsIgnored() {
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "relative/config");
        const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
        const QString location = SettingsStore::Location(App());
        qputenv("XDG_CONFIG_HOME", saved);
        QCOMPARE(location, home + QStringLiteral("/.config/Orvane/Pellora.ini"));
    }
#endif

    void failedWriteThrows() {
        // The company folder is a regular file (a volatile registry key): the settings cannot be
        // stored beneath it.
        test::BlockSettings();
        SettingsStore store;
        QCOMPARE(store.ReadValue(QString(), QStringLiteral("From"), ValueKind::Text, App()), QVariant(QString()));
        QVERIFY_THROWS_EXCEPTION(
            Error, store.WriteValue(QString(), QStringLiteral("From"), ValueKind::Text, QStringLiteral("Ann"), App()));
        test::RemoveSettings();
    }
};

PELLORA_TEST_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
