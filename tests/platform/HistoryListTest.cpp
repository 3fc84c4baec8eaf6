#include "platform/components/HistoryList.h"
#include "platform/runtime/App.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <functional>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace pellora;
using pellora::test::ReadFile;
using pellora::test::WhenMenuOpens;
using platform::HistoryList;

namespace {

const QString kFile = QStringLiteral("From History.DAT");

QString HistoryFolder() { return test::DataHome() + QStringLiteral("/Orvane/Pellora"); }

QStringList Listing(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void Open(HistoryList& list, const QString& file = kFile) { list.Open(file, QString(), App(), QString(), -1); }

} // namespace

class HistoryListTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QDir(test::DataHome() + QStringLiteral("/Orvane")).removeRecursively(); }

    void firstRunIsEmpty() {
        HistoryList list;
        Open(list);
        QCOMPARE(list.FilePath(), HistoryFolder() + u'/' + kFile);
        list.Load();
        QVERIFY(list.Entries().isEmpty());
        QVERIFY(!QFileInfo::exists(HistoryFolder())); // loading creates nothing
    }

    void adding_data() {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("newest first") << QStringList{"Ann", "Bob", "Cid"} << QStringList{"Cid", "Bob", "Ann"};
        QTest::newRow("added again moves to the top")
            << QStringList{"Ann", "Bob", "Cid", "Ann"} << QStringList{"Ann", "Cid", "Bob"};
        QTest::newRow("letter case counts") << QStringList{"ann", "Ann", "ANN"} << QStringList{"ANN", "Ann", "ann"};
        QTest::newRow("blanks count") << QStringList{"Ann", "Ann "} << QStringList{"Ann ", "Ann"};
        QStringList thirty;
        QStringList newest25;
        for (int i = 1; i <= 30; ++i)
            thirty << QStringLiteral("name %1").arg(i);
        for (int i = 30; i > 5; --i)
            newest25 << QStringLiteral("name %1").arg(i);
        QTest::newRow("at most 25, the oldest go") << thirty << newest25;
        QStringList full = thirty.mid(0, 25);
        full << "name 1";
        QStringList fullExpected{"name 1"};
        for (int i = 25; i > 1; --i)
            fullExpected << QStringLiteral("name %1").arg(i);
        QTest::newRow("moving to the top of a full list drops nothing") << full << fullExpected;
        QTest::newRow("longer than 255 characters stays out")
            << QStringList{"Ann", QString(256, u'x'), "Bob"} << QStringList{"Bob", "Ann"};
    }

    void adding() {
        QFETCH(QStringList, added);
        QFETCH(QStringList, expected);
        HistoryList list;
        Open(list);
        list.Load();
        for (const QString& text : added)
            list.Add(text);
        QCOMPARE(list.Entries(), expected);
    }

    // What one run saves, the next run loads: any character a text box can hold.
    void roundTrip() {
        const QStringList entries{QStringLiteral("plain"),
                                  QStringLiteral("line\nbreak"),
                                  QStringLiteral("carriage\rreturn\r\n"),
                                  QStringLiteral("back\\slash\\n not an escape\\"),
                                  QStringLiteral("nul") + QChar(u'\0') + QStringLiteral("inside"),
                                  QStringLiteral("tab\there"),
                                  QString::fromUtf8("emoji \xF0\x9F\x98\x80 and \xE2\x80\xA8 separator"),
                                  QChar(0xFEFF) + QStringLiteral("starts with a BOM"),
                                  QStringLiteral("Tom & Jerry"),
                                  QString(),
                                  QStringLiteral(" "),
                                  QString(255, u'x')};
        {
            HistoryList list;
            Open(list);
            list.Load();
            for (auto it = entries.crbegin(); it != entries.crend(); ++it)
                list.Add(*it);
            list.Save();
        }
        const QByteArray bytes = ReadFile(HistoryFolder() + u'/' + kFile);
        QVERIFY(bytes.startsWith("PelloraHistory 1\n"));
        QCOMPARE(bytes.count('\n'), entries.size() + 1); // one line per entry

        HistoryList next;
        Open(next);
        next.Load();
        QCOMPARE(next.Entries(), entries);
        QCOMPARE(Listing(HistoryFolder()), QStringList{kFile}); // nothing set aside, no temp files
    }

    void damagedFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("setAside");

        QTest::newRow("sound") << QByteArray("PelloraHistory 1\nAnn\nBob\n") << QStringList{"Ann", "Bob"} << false;
        QTest::newRow("BOM before the header")
            << QByteArray("\xEF\xBB\xBFPelloraHistory 1\nAnn\n") << QStringList{"Ann"} << false;
        QTest::newRow("truncated UTF-8") << QByteArray("PelloraHistory 1\nAnn\nJos\xC3") << QStringList{"Ann"} << true;
        QTest::newRow("cut after an entry, no line end")
            << QByteArray("PelloraHistory 1\nAnn\nBo") << QStringList{"Ann"} << true;
        QTest::newRow("invalid UTF-8 in the middle")
            << QByteArray("PelloraHistory 1\nAnn\nB\xFF\xFEob\nCid\n") << QStringList{"Ann", "Cid"} << true;
        QTest::newRow("unknown escape") << QByteArray("PelloraHistory 1\nAnn\nx\\q\nCid\n") << QStringList{"Ann", "Cid"}
                                        << true;
        QTest::newRow("escape cut at the line end")
            << QByteArray("PelloraHistory 1\nAnn\nx\\\nCid\n") << QStringList{"Ann", "Cid"} << true;
        QTest::newRow("raw CR") << QByteArray("PelloraHistory 1\r\nAnn\r\n") << QStringList{} << true;
        QTest::newRow("wrong header") << QByteArray("PelloraHistory 2\nAnn\n") << QStringList{} << true;
        QTest::newRow("garbage") << QByteArray("\x00\x01\x02\xFF garbage \x80\n\n\n", 16) << QStringList{} << true;
        QTest::newRow("empty file") << QByteArray() << QStringList{} << true;
        QTest::newRow("an entry longer than 255 characters is skipped")
            << QByteArray("PelloraHistory 1\nAnn\n") + QByteArray(256, 'x') + "\nBob\n"
            << QStringList{"Ann", "Bob"} << false;
    }

    // A damaged file keeps what can be read and is moved aside, never overwritten blind.
    void damagedFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QFETCH(bool, setAside);

        const QString path = HistoryFolder() + u'/' + kFile;
        test::WriteFile(path, bytes);

        HistoryList list;
        Open(list);
        list.Load();
        QCOMPARE(list.Entries(), expected);
        if (setAside) {
            QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(ReadFile(path + QStringLiteral(".damaged")), bytes);
        } else {
            QCOMPARE(Listing(HistoryFolder()), QStringList{kFile});
        }

        list.Add(QStringLiteral("Dan"));
        list.Save();
        HistoryList next;
        Open(next);
        next.Load();
        QCOMPARE(next.Entries(), QStringList{QStringLiteral("Dan")} + expected);
    }

    void secondDamagedFileDoesNotReplaceTheFirst() {
        const QString path = HistoryFolder() + u'/' + kFile;
        for (const QByteArray& bytes : {QByteArray("first"), QByteArray("second")}) {
            test::WriteFile(path, bytes);
            HistoryList list;
            Open(list);
            list.Load();
        }
        QCOMPARE(ReadFile(path + QStringLiteral(".damaged")), QByteArray("first"));
        QCOMPARE(ReadFile(path + QStringLiteral(".damaged-2")), QByteArray("second"));
    }

    // What is not a regular file of the user's is never read: it is set aside unopened (a FIFO
    // would block), and Save writes the file fresh.
    void unreadableFileDoesNotStopTheProgram_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << "folder";
#ifndef Q_OS_WIN // FIFOs, links and other users' files are Unix's
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("file of another user") << "foreign file";
        QTest::newRow("link of another user") << "foreign link";
        QTest::newRow("link of the user's own to a history") << "own link";
#endif
    }
    void unreadableFileDoesNotStopTheProgram() {
        QFETCH(QString, kind);
        const QString path = HistoryFolder() + u'/' + kFile;
        [[maybe_unused]] const QByteArray name = QFile::encodeName(path);
        QVERIFY(QDir().mkpath(kind == u"folder" ? path : HistoryFolder()));
#ifndef Q_OS_WIN
        if (kind == u"fifo")
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        if (kind == u"own link") {
            test::WriteFile(HistoryFolder() + QStringLiteral("/elsewhere"), "PelloraHistory 1\nEve\n");
            QCOMPARE(::symlink("elsewhere", name.constData()), 0);
        }
        if (kind.startsWith(u"foreign")) {
            if (::geteuid() != 0)
                QSKIP("only root can give a file to another user");
            test::WriteFile(HistoryFolder() + QStringLiteral("/elsewhere"), "PelloraHistory 1\nEve\n");
            if (kind == u"foreign file")
                QVERIFY(QFile::rename(HistoryFolder() + QStringLiteral("/elsewhere"), path));
            else
                QCOMPARE(::symlink("elsewhere", name.constData()), 0);
            QCOMPARE(::lchown(name.constData(), 65534, 65534), 0);
        }
#endif
        HistoryList list;
        Open(list);
        list.Load();
        QVERIFY(list.Entries().isEmpty());
        list.Add(QStringLiteral("Ann"));
        const QFileInfo setAside(path + QStringLiteral(".damaged")); // kept, as it was
        QVERIFY(setAside.exists() || setAside.isSymLink());
        list.Save();
        QCOMPARE(ReadFile(path), QByteArray("PelloraHistory 1\nAnn\n"));
        if (QFileInfo::exists(HistoryFolder() + QStringLiteral("/elsewhere"))) // never written through
            QCOMPARE(ReadFile(HistoryFolder() + QStringLiteral("/elsewhere")), QByteArray("PelloraHistory 1\nEve\n"));
    }

#ifndef Q_OS_WIN // links, and times set on them, are Unix's
    // With every name for a damaged file taken, the oldest one set aside makes room; when none can
    // (every one a folder with something in it), the damaged file stays and is not written over.
    void setAsideWithEveryNameTaken_data() {
        QTest::addColumn<bool>("links"); // else folders with a file in each
        QTest::newRow("every name a link: the oldest is replaced") << true;
        QTest::newRow("every name a full folder: nothing is written") << false;
    }
    void setAsideWithEveryNameTaken() {
        QFETCH(bool, links);
        const QString path = HistoryFolder() + u'/' + kFile;
        QVERIFY(QDir().mkpath(HistoryFolder()));
        for (int n = 1; n <= 100; ++n) {
            const QByteArray taken =
                QFile::encodeName(path + (n == 1 ? QStringLiteral(".damaged") : QStringLiteral(".damaged-%1").arg(n)));
            if (links) {
                QCOMPARE(::symlink("nowhere", taken.constData()), 0);
            } else {
                QVERIFY(QDir().mkdir(QFile::decodeName(taken)));
                test::WriteFile(QFile::decodeName(taken) + QStringLiteral("/kept"), "kept");
            }
            // .damaged-37 is the oldest by an hour.
            const timespec times[2] = {{0, UTIME_OMIT}, {n == 37 ? 1000000000 : 1000003600, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, taken.constData(), times, AT_SYMLINK_NOFOLLOW), 0);
        }
        test::WriteFile(path, "damaged");
        HistoryList list;
        Open(list);
        list.Load();
        list.Add(QStringLiteral("Ann"));
        if (links) {
            list.Save();
            QCOMPARE(ReadFile(path + QStringLiteral(".damaged-37")), QByteArray("damaged"));
            QCOMPARE(ReadFile(path), QByteArray("PelloraHistory 1\nAnn\n"));
            QCOMPARE(QFileInfo(path + QStringLiteral(".damaged-36")).symLinkTarget().section(u'/', -1),
                     QStringLiteral("nowhere"));
        } else {
            QVERIFY_THROWS_EXCEPTION(Error, list.Save());
            QCOMPARE(ReadFile(path), QByteArray("damaged"));
        }
        QCOMPARE(Listing(HistoryFolder()).size(), 101);
    }
#endif

    void saveFailsWhenTheFolderCannotBeMade() {
        // The company folder is a regular file: nothing can be created beneath it.
        test::WriteFile(test::DataHome() + QStringLiteral("/Orvane"), "in the way");
        HistoryList list;
        Open(list);
        list.Load();
        list.Add(QStringLiteral("Ann"));
        QVERIFY_THROWS_EXCEPTION(Error, list.Save());
        QFile::remove(test::DataHome() + QStringLiteral("/Orvane"));
    }

    // Save never writes into the file in place: a new file takes the old one's name, and no
    // temporary file is left beside it. A file that already holds the list is not written again.
    void saveReplacesTheFileWhole_data() {
        QTest::addColumn<QString>("added");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("a new name") << QStringLiteral("Bob") << true;
        QTest::newRow("the name at the top again") << QStringLiteral("Ann") << false;
    }
    void saveReplacesTheFileWhole() {
        QFETCH(QString, added);
        QFETCH(bool, replaced);
        HistoryList list;
        Open(list);
        list.Add(QStringLiteral("Ann"));
        list.Save();
        const QString path = HistoryFolder() + u'/' + kFile;
        const quint64 before = test::FileId(path);
        QVERIFY(before != 0);
        list.Add(added);
        list.Save();
        QCOMPARE(test::FileId(path) != before, replaced);
        QCOMPARE(Listing(HistoryFolder()), QStringList{kFile});
    }

#ifndef Q_OS_WIN // file modes are POSIX's
    // The history and its folders are private. A file from before keeps its mode until it is
    // written again (in its private folder, no one else can open it).
    void savedFilesArePrivate() {
        const test::ScopedUmask mask(022);
        const QString path = HistoryFolder() + u'/' + kFile;
        HistoryList list;
        Open(list);
        list.Add(QStringLiteral("Ann"));
        list.Save();
        QCOMPARE(test::FileMode(path), 0600);
        QCOMPARE(test::FileMode(HistoryFolder()), 0700);
        QCOMPARE(test::FileMode(QFileInfo(HistoryFolder()).path()), 0700);

        QVERIFY(
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        HistoryList next;
        Open(next);
        next.Load();
        QCOMPARE(test::FileMode(path), 0644);
        next.Add(QStringLiteral("Bob"));
        next.Save();
        QCOMPARE(test::FileMode(path), 0600);
    }
#endif

    // Whatever the bytes, Parse returns at most 25 distinct entries, and what it returns
    // survives a round trip unchanged.
    void parseNeverFails() {
        QRandomGenerator random(20161224);
        const QByteArray sound =
            HistoryList::Serialize({"Ann", "B\\ob\n", QString::fromUtf8("\xC3\xA9\xF0\x9F\x98\x80")});
        for (int round = 0; round < 3000; ++round) {
            QByteArray bytes = round % 2 ? sound : QByteArray("PelloraHistory 1\n");
            const int edits = static_cast<int>(random.bounded(8));
            for (int e = 0; e < edits; ++e) {
                const auto at = static_cast<qsizetype>(random.bounded(static_cast<quint32>(bytes.size() + 1)));
                const char byte = static_cast<char>(random.bounded(256));
                switch (random.bounded(3)) {
                case 0: bytes.insert(at, byte); break;
                case 1:
                    if (at < bytes.size())
                        bytes[at] = byte;
                    break;
                default: bytes.truncate(at); break;
                }
            }
            bool damaged = false;
            const QStringList entries = HistoryList::Parse(bytes, &damaged);
            QVERIFY(entries.size() <= HistoryList::MaxEntries);
            QCOMPARE(QSet<QString>(entries.begin(), entries.end()).size(), entries.size());
            bool again = true;
            QCOMPARE(HistoryList::Parse(HistoryList::Serialize(entries), &again), entries);
            QVERIFY(!again);
        }
        QCOMPARE(HistoryList::Parse(QByteArray(), nullptr), QStringList());
    }

    void pickByKeyboard_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<bool>("picked");
        QTest::addColumn<QString>("text");

        const QStringList names{"Cid", "Bob", "Ann"};
        QTest::newRow("Down Enter picks the newest")
            << names << QList<int>{Qt::Key_Down, Qt::Key_Return} << true << QStringLiteral("Cid");
        QTest::newRow("Down Down Enter picks the next")
            << names << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Enter} << true << QStringLiteral("Bob");
        QTest::newRow("Escape leaves the box")
            << names << QList<int>{Qt::Key_Down, Qt::Key_Escape} << false << QStringLiteral("typed");
        QTest::newRow("ampersand shows and is inserted as itself")
            << QStringList{"Tom & Jerry"} << QList<int>{Qt::Key_Down, Qt::Key_Return} << true
            << QStringLiteral("Tom & Jerry");
        QTest::newRow("a long entry is inserted whole")
            << QStringList{QString(255, u'w')} << QList<int>{Qt::Key_Down, Qt::Key_Return} << true
            << QString(255, u'w');
        QTest::newRow("empty history: nothing to pick")
            << QStringList{} << QList<int>{Qt::Key_Down, Qt::Key_Return, Qt::Key_Escape} << false
            << QStringLiteral("typed");
    }

    void pickByKeyboard() {
        QFETCH(QStringList, entries);
        QFETCH(QList<int>, keys);
        QFETCH(bool, picked);
        QFETCH(QString, text);

        HistoryList list;
        Open(list);
        for (auto it = entries.crbegin(); it != entries.crend(); ++it)
            list.Add(*it);

        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* box = new QLineEdit(QStringLiteral("typed"));
        auto* button = new QPushButton(QStringLiteral("..."));
        layout->addWidget(box);
        layout->addWidget(button);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        button->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), button);

        QStringList shown;
        QList<bool> enabled;
        QPoint menuTopLeft;
        WhenMenuOpens([&](QMenu* menu) {
            menuTopLeft = menu->geometry().topLeft();
            for (QAction* action : menu->actions()) {
                shown << action->text();
                enabled << action->isEnabled();
            }
            for (int key : keys) {
                if (QApplication::activePopupWidget() == menu)
                    QTest::keyClick(menu, static_cast<Qt::Key>(key));
            }
        });
        QCOMPARE(list.PickInto(*box), picked);
        QCOMPARE(box->text(), text);

        if (entries.isEmpty()) {
            QCOMPARE(shown, QStringList{QStringLiteral("(empty)")});
            QCOMPARE(enabled, QList<bool>{false});
        } else {
            QCOMPARE(shown.size(), entries.size());
            QVERIFY(!enabled.contains(false));
            for (int i = 0; i < entries.size(); ++i) {
                QCOMPARE(shown.at(i).count(QStringLiteral("&&")), entries.at(i).count(u'&'));
                QVERIFY(shown.at(i).size() < 200);
            }
        }
        // The menu opens under the history button.
        QCOMPARE(menuTopLeft, button->mapToGlobal(QPoint(0, button->height())));
    }

    void pickByMouse_data() {
        QTest::addColumn<int>("item"); // -1: a click beside the menu
        QTest::addColumn<bool>("picked");
        QTest::addColumn<QString>("text");
        QTest::newRow("click on the second entry") << 1 << true << QStringLiteral("Bob");
        QTest::newRow("click elsewhere leaves the box") << -1 << false << QStringLiteral("typed");
    }

    void pickByMouse() {
        QFETCH(int, item);
        QFETCH(bool, picked);
        QFETCH(QString, text);

        HistoryList list;
        Open(list);
        list.Add(QStringLiteral("Bob"));
        list.Add(QStringLiteral("Cid"));
        QLineEdit box(QStringLiteral("typed"));
        box.setGeometry(100, 100, 200, 30);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));

        WhenMenuOpens([item](QMenu* menu) {
            if (item < 0)
                QTest::mouseClick(menu, Qt::LeftButton, {}, QPoint(-20, -20));
            else
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(item)).center());
        });
        QCOMPARE(list.PickInto(box), picked);
        QCOMPARE(box.text(), text);
    }

    void pickWithoutAFocusedWidgetOpensUnderTheBox() {
        HistoryList list;
        Open(list);
        list.Add(QStringLiteral("Ann"));
        QLineEdit box;
        box.setFocusPolicy(Qt::NoFocus);
        box.setGeometry(100, 100, 200, 30);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(QApplication::focusWidget(), nullptr);
        QPoint menuTopLeft;
        WhenMenuOpens([&](QMenu* menu) {
            menuTopLeft = menu->geometry().topLeft();
            QTest::keyClick(menu, Qt::Key_Escape);
        });
        QVERIFY(!list.PickInto(box));
        QCOMPARE(menuTopLeft, box.mapToGlobal(QPoint(0, box.height())));
    }
};

PELLORA_TEST_MAIN(HistoryListTest)
#include "HistoryListTest.moc"
