// The support library's window, folder and desktop services, and the form helper.

#include "platform/support/Support.h"
#include "platform/components/Components.h"
#include "platform/runtime/App.h"
#include "platform/support/Desktop.h"
#include "platform/window/FormHelper.h"
#include "platform/window/WindowServices.h"
#include "platform/window/WindowSupport.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

using namespace pellora;

// Shows `text` in the system's message box, or with `detail` beneath it in the error prompt.
static void ShowBox(const QString& text, const QString& detail) {
    if (detail.isEmpty()) {
        platform::CreateSystemMessageBoxes()->Show(text, platform::MsgBoxStyle::Critical, QStringLiteral("T"),
                                                   QString());
        return;
    }
    bool logged = true;
    platform::CreateSystemErrorPrompt()->ShowError(
        Error(75, detail), platform::MsgBoxStyle::RetryCancel | platform::MsgBoxStyle::Critical, 0, text, logged);
}

class SupportTest : public QObject {
    Q_OBJECT

private slots:
    // The path comes out with the system's separators ('\\' on Windows).
    void buildFileNameJoinsWithBackslashesAsSeparators() {
        QCOMPARE(ksBuildFileName(QStringLiteral("/home/ann/.local/share"), QStringLiteral("Orvane\\Pellora")),
                 QDir::toNativeSeparators(QStringLiteral("/home/ann/.local/share/Orvane/Pellora")));
        QCOMPARE(ksBuildFileName(QStringLiteral("/data/"), QStringLiteral("Message 1.TXT")),
                 QDir::toNativeSeparators(QStringLiteral("/data/Message 1.TXT")));
        QCOMPARE(ksBuildFileName(QStringLiteral("/"), QStringLiteral("x")),
                 QDir::toNativeSeparators(QStringLiteral("/x")));
    }

    void createComplexDirectory() {
        test::TestHome home;
        const QString deep = home.path() + QStringLiteral("/a b/ü/c");
        QVERIFY(ksCreateComplexDirectory(deep));
        QVERIFY(QFileInfo(deep).isDir());
        QVERIFY(ksCreateComplexDirectory(deep)); // already there
        test::WriteFile(home.path() + QStringLiteral("/file"), "x");
        QVERIFY(!ksCreateComplexDirectory(home.path() + QStringLiteral("/file")));
        QVERIFY(!ksCreateComplexDirectory(home.path() + QStringLiteral("/file/below")));
        QVERIFY(!ksCreateComplexDirectory(QString()));
    }

    void specialFolderFollowsXdgDataHome() {
        test::TestHome home;
        QCOMPARE(ksGetSpecialFolder(SpecialFolder::AppData), QDir::toNativeSeparators(home.dataHome()));
        QVERIFY_THROWS_EXCEPTION(Error, ksGetSpecialFolder(5));
    }

#ifndef Q_OS_WIN // folder modes are POSIX's
    // The folders made for the data are open to their owner only; the umask may take more,
    // and folders that were there are left as they are.
    void createdFoldersArePrivate() {
        test::TestHome home;
        const QString open = home.path() + QStringLiteral("/open");
        QVERIFY(QDir().mkdir(open));
        QVERIFY(QFile::setPermissions(open, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        {
            const test::ScopedUmask mask(022);
            QVERIFY(ksCreateComplexDirectory(open + QStringLiteral("/Orvane/Pellora")));
        }
        QCOMPARE(test::FileMode(open), 0755);
        QCOMPARE(test::FileMode(open + QStringLiteral("/Orvane")), 0700);
        QCOMPARE(test::FileMode(open + QStringLiteral("/Orvane/Pellora")), 0700);
        {
            const test::ScopedUmask mask(0277);
            QVERIFY(ksCreateComplexDirectory(open + QStringLiteral("/strict")));
        }
        QCOMPARE(test::FileMode(open + QStringLiteral("/strict")), 0500);
    }
#endif

#ifndef Q_OS_WIN // XDG folders are Unix's
    // A relative $XDG_DATA_HOME is not a base folder: the default under $HOME is used, never
    // a folder below the current one.
    // Nor is a relative or missing $HOME: the home folder then comes from the password database.
    void specialFolderIgnoresARelativeXdgDataHome_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("homeVariable"); // null: the test's home
        QTest::newRow("relative") << QByteArray("relative/share") << QByteArray();
        QTest::newRow("dot") << QByteArray(".") << QByteArray();
        QTest::newRow("tilde") << QByteArray("~/.local/share") << QByteArray();
        QTest::newRow("empty") << QByteArray("") << QByteArray();
        QTest::newRow("relative HOME") << QByteArray() << QByteArray("relhome");
        QTest::newRow("empty HOME") << QByteArray() << QByteArray("");
    }
    void specialFolderIgnoresARelativeXdgDataHome() {
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, homeVariable);
        test::TestHome home;
        qputenv("XDG_DATA_HOME", value);
        QString expected = home.path() + QStringLiteral("/home/.local/share");
        if (!homeVariable.isNull()) {
            qputenv("HOME", homeVariable);
            expected = QFile::decodeName(::getpwuid(::geteuid())->pw_dir) + QStringLiteral("/.local/share");
        }
        QCOMPARE(ksGetSpecialFolder(SpecialFolder::AppData), expected);
    }
#endif

    void highlightAndUnload() {
        QLineEdit line(QStringLiteral("Bob"));
        ksHighlightText(&line);
        QCOMPARE(line.selectedText(), QStringLiteral("Bob"));
        QPlainTextEdit plain(QStringLiteral("one\ntwo"));
        ksHighlightText(&plain);
        QVERIFY(plain.textCursor().hasSelection());
        QPushButton notText;
        QVERIFY_THROWS_EXCEPTION(Error, ksHighlightText(&notText));

        // The unload happens after the running handler has returned.
        QWidget form;
        form.show();
        ksUnloadForm(&form);
        QVERIFY(form.isVisible());
        QTRY_VERIFY(!form.isVisible());
    }

    // The window shows, pixel for pixel, the pictures installed for the desktop.
    void iconResource() {
        QWidget window;
        ksSetWindowResIconAll(&window, QStringLiteral("A_MAIN"));
        const QIcon icon = window.windowIcon();
        for (const int size : {16, 32}) {
            QVERIFY(icon.availableSizes().contains(QSize(size, size)));
            const QImage shown = icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
            const QString file = QStringLiteral(PELLORA_ICON_DIR "/A_MAIN/%1.png").arg(size);
            const QImage installed = QImage(file).convertToFormat(QImage::Format_ARGB32);
            QVERIFY2(!installed.isNull(), qPrintable(file));
            QCOMPARE(shown.size(), installed.size());
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const QRgb a = shown.pixel(x, y), b = installed.pixel(x, y);
                    // Fully transparent pixels may differ in their (invisible) colour.
                    if (qAlpha(a) != 0 || qAlpha(b) != 0)
                        QVERIFY2(a == b, qPrintable(QStringLiteral("%1 px at %2,%3").arg(size).arg(x).arg(y)));
                }
        }
        ksSetWindowResIconAll(nullptr, QStringLiteral("A_MAIN"));
        QCOMPARE(QApplication::windowIcon().availableSizes().size(), 2);
        QVERIFY_THROWS_EXCEPTION(Error, ksSetWindowResIconAll(&window, QStringLiteral("NO_SUCH_ICON")));
    }

    // The desktop's wallpaper, read from its own settings once, shows through the window.
    void desktopSeenThroughTheWindow() {
        test::TestHome home;
        QImage wallpaper(64, 48, QImage::Format_RGB32);
        wallpaper.fill(QColor(10, 200, 30));
        const QString image = home.path() + QStringLiteral("/wall paper.png");
        QVERIFY(wallpaper.save(image));

#ifdef Q_OS_WIN
        // The desktop's setting is the account's own: only a system made for the tests may change it.
        if (!qEnvironmentVariableIsSet("PELLORA_SCRATCH_SYSTEM"))
            QSKIP("set PELLORA_SCRATCH_SYSTEM=1 to let the test change the wallpaper setting");
        const auto setWallpaper = [](const QString& file) {
            std::wstring name = QDir::toNativeSeparators(file).toStdWString();
            return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, name.data(), 0) != FALSE;
        };
        QVERIFY(setWallpaper(image));
        QCOMPARE(platform::DesktopWallpaperFile(), QDir::toNativeSeparators(image));
#else
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        test::WriteFile(home.configHome() + QStringLiteral("/plasma-org.kde.plasma.desktop-appletsrc"),
                        "[Containments][1][Wallpaper][org.kde.image][General]\nImage=file://" + image.toUtf8() + "\n");
        QCOMPARE(platform::DesktopWallpaperFile(), image);

        qputenv("XDG_CURRENT_DESKTOP", "XFCE");
        test::WriteFile(home.configHome() + QStringLiteral("/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml"),
                        "<channel><property name=\"last-image\" type=\"string\" value=\"" + image.toUtf8() +
                            "\"/></channel>");
        QCOMPARE(platform::DesktopWallpaperFile(), image);

        // GNOME: the settings are read through GIO (here from its key file, with the desktop's
        // own schema); the dark picture counts when the light one is not a file.
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        qputenv("GSETTINGS_BACKEND", "keyfile");
        test::WriteFile(home.configHome() + QStringLiteral("/glib-2.0/settings/keyfile"),
                        "[org/gnome/desktop/background]\npicture-options='zoom'\n"
                        "picture-uri='file:///no/such/file.png'\npicture-uri-dark='file://" +
                            image.toUtf8() + "'\n");
        QCOMPARE(platform::DesktopWallpaperFile(), image);
        // A desktop whose schema is not installed has no wallpaper (GIO would end the program).
        qputenv("XDG_CURRENT_DESKTOP", "X-Cinnamon");
        QVERIFY(platform::DesktopWallpaperFile().isEmpty());
        qunsetenv("GSETTINGS_BACKEND");
        // Without a backend named, GNOME's settings are dconf's: the account's database, here with
        // one key (header, hash table, key, then the value, a variant holding the URI).
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const QByteArray uri = "file://" + image.toUtf8() + QByteArray("\0\0s", 3);
        QByteArray end(4, '\0');
        qToLittleEndian<quint32>(104 + uri.size(), end.data());
        test::WriteFile(home.configHome() + QStringLiteral("/dconf/user"),
                        QByteArray::fromHex("4756617269616e74 0000000000000000 180000003c000000 0000000001000000 "
                                            "00000000 812f89cc ffffffff 3c000000 2900 7600 68000000") +
                            end + "/org/gnome/desktop/background/picture-uri" + QByteArray(3, '\0') + uri);
        QCOMPARE(platform::DesktopWallpaperFile(), image);

        qputenv("XDG_CURRENT_DESKTOP", "openbox");
        QVERIFY(platform::DesktopWallpaperFile().isEmpty());

        // The wallpaper is read on a thread of its own; once it is read, the window shows it, not
        // the button face.
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
#endif
        platform::ReadDesktopAhead();
        QWidget window;
        window.resize(40, 30);
        const auto paint = [&window] {
            QImage canvas(40, 30, QImage::Format_RGB32);
            canvas.fill(Qt::black);
            QPainter painter(&canvas);
            ksPaintDesktop(&window, painter);
            return canvas.pixelColor(20, 15);
        };
        QTRY_COMPARE(paint(), QColor(10, 200, 30));
#ifdef Q_OS_WIN
        setWallpaper(QString());
#else
        qunsetenv("XDG_CURRENT_DESKTOP");
#endif
    }

    // The error prompt and the message boxes show every text as it is: a path from the
    // environment may hold markup, and it is shown, not rendered or linked.
    void messageBoxTextsArePlain_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail");
        const QString path = QStringLiteral("/home/<b>ann</b>/<a href=\"https://example.invalid/\">x</a>");
        QTest::newRow("detail") << QStringLiteral("Can't write file.") << path;
        QTest::newRow("text") << path + QStringLiteral("\r\n\r\nCan't open mailslot.") << QString();
        QTest::newRow("both") << QStringLiteral("<i>a</i>") << QStringLiteral("<img src=\"/x\">&amp;");
    }
    void messageBoxTextsArePlain() {
        QFETCH(QString, text);
        QFETCH(QString, detail);
        QStringList shown;
        QStringList notPlain;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text().isEmpty())
                    continue;
                shown << label->text();
                if (label->textFormat() != Qt::PlainText || label->openExternalLinks())
                    notPlain << label->text();
            }
            box->close();
        });
        ShowBox(text, detail);
        QCOMPARE(notPlain, QStringList());
        QVERIFY(shown.contains(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))));
        if (!detail.isEmpty())
            QVERIFY(shown.contains(detail));
    }

    // A text with a long unbroken run (a path with a computer name of 255 characters) is wrapped
    // within the box, which stays within the screen, and every character of it shows.
    void longTextsShowWholeInTheBox_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("asIs"); // the label holds the text exactly, no break marks
        const QString name(255, u'W');
        const QString path = QStringLiteral("\\\\") + name + QStringLiteral("\\mailslot\\messngr");
        QTest::newRow("computer name of 255 characters")
            << path + QStringLiteral("\r\n\r\nCan't open mailslot.\r\nNo computer answered to the name ") + name +
                   QStringLiteral(".")
            << QString() << false;
        QTest::newRow("long path in the description beneath")
            << QStringLiteral("Can't write file.") << QStringLiteral("/home/ann/") + name + QStringLiteral("/x.TXT")
            << false;
        QTest::newRow("a usual path stays as it is")
            << QStringLiteral("\\\\PC7\\mailslot\\messngr\r\n\r\nCan't open mailslot.") << QString() << true;
    }
    void longTextsShowWholeInTheBox() {
        QFETCH(QString, text);
        QFETCH(QString, detail);
        QFETCH(bool, asIs);
        QStringList shown;
        QStringList cut;
        int boxWidth = 0;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            boxWidth = box->frameGeometry().width();
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text().isEmpty())
                    continue;
                shown << label->text();
                const QRect needed = label->fontMetrics().boundingRect(
                    QRect(0, 0, label->width(), 100000), int(label->alignment()) | Qt::TextWordWrap, label->text());
                if (needed.width() > label->width() || needed.height() > label->height())
                    cut << label->text();
            }
            box->close();
        });
        ShowBox(text, detail);
        QCOMPARE(cut, QStringList());
        QVERIFY(boxWidth <= QApplication::primaryScreen()->availableGeometry().width() * 3 / 4);
        const QString display = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QStringList whole = shown;
        for (QString& each : whole)
            each.remove(QChar(0x200B));
        QVERIFY(whole.contains(display));
        if (!detail.isEmpty())
            QVERIFY(whole.contains(detail));
        QCOMPARE(shown.contains(display) && (detail.isEmpty() || shown.contains(detail)), asIs);
    }

    void aboutBoxAndPressButton() {
        auto helper = platform::CreateSystemFormHelper();
        QWidget owner;
        owner.show();
        QStringList lines;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            for (QLabel* label : dialog->findChildren<QLabel*>())
                if (!label->text().isEmpty())
                    lines << label->text();
            dialog->accept();
        });
        helper->ShowAbout(&owner, App(), QString(), nullptr, QStringLiteral("To Lia"));
        QVERIFY(lines.contains(QStringLiteral("Kestrine - Pellora")));
        QVERIFY(lines.contains(QStringLiteral("Version 1.02.0014")));
        QVERIFY(lines.contains(QStringLiteral("Kestrine - Pellora 1.02")));
        QVERIFY(lines.contains(QStringLiteral("To Lia")));
        QVERIFY(lines.filter(QStringLiteral("Orvane")).size() == 1);

        int clicks = 0;
        QPushButton button;
        connect(&button, &QPushButton::clicked, [&] { ++clicks; });
        helper->PressButton(&button);
        QCOMPARE(clicks, 1);
        button.setEnabled(false);
        helper->PressButton(&button);
        QCOMPARE(clicks, 1);
    }
};

PELLORA_TEST_MAIN(SupportTest)
#include "SupportTest.moc"
