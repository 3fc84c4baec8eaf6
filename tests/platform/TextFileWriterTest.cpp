#include "platform/components/Components.h"
#include "platform/support/PrivateFiles.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

using namespace pellora;
using namespace pellora::platform;
using pellora::test::ReadFile;

namespace {

// Every name in the folder, hidden ones included.
QStringList Listing(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TextFileWriterTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        writer_ = platform::CreateSystemTextFileWriter();
        QVERIFY(writer_);
    }

    void bytesOnDisk_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("lineEnds");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("utf8 without BOM") << QStringLiteral("Grüße €") << 2 << 2
                                          << QByteArray("Gr\xC3\xBC\xC3\x9F"
                                                        "e \xE2\x82\xAC");
        QTest::newRow("utf8 emoji") << QString::fromUtf8("\xF0\x9F\x98\x80") << 2 << 2
                                    << QByteArray("\xF0\x9F\x98\x80");
        QTest::newRow("CR LF kept, lone LF kept")
            << QStringLiteral("a\r\nb\nc\r\n") << 2 << 2 << QByteArray("a\r\nb\nc\r\n");
        QTest::newRow("LF made CR LF") << QStringLiteral("a\nb\r\nc\n") << 2 << 1 << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("empty text") << QString() << 2 << 2 << QByteArray();
        QTest::newRow("U+0000 kept") << QString(QChar(u'\0')) << 2 << 2 << QByteArray(1, '\0');
        QTest::newRow("latin-1") << QStringLiteral("Grüße") << 1 << 2
                                 << QByteArray("Gr\xFC\xDF"
                                               "e");
    }

    void bytesOnDisk() {
        QFETCH(QString, text);
        QFETCH(int, encoding);
        QFETCH(int, lineEnds);
        QFETCH(QByteArray, expected);

        const QString path = dir_.filePath(QStringLiteral("X.TXT"));
        QFile::remove(path);
        QCOMPARE(
            writer_->WriteText(path, text, Existing::Keep, Encoding(encoding), LineEnds(lineEnds), Durability::Durable),
            path);
        QCOMPARE(ReadFile(path), expected);
        QCOMPARE(Listing(dir_.path()), QStringList{QStringLiteral("X.TXT")});
    }

    void neverReplacesAnExistingFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("extension") << QStringLiteral("~$Message 2016-02-24 10-01-05.TXT")
                                   << QStringList{QStringLiteral("~$Message 2016-02-24 10-01-05.TXT"),
                                                  QStringLiteral("~$Message 2016-02-24 10-01-05 (2).TXT"),
                                                  QStringLiteral("~$Message 2016-02-24 10-01-05 (3).TXT")};
        QTest::newRow("no extension") << QStringLiteral("notes")
                                      << QStringList{QStringLiteral("notes"), QStringLiteral("notes (2)"),
                                                     QStringLiteral("notes (3)")};
        QTest::newRow("dot file") << QStringLiteral(".notes")
                                  << QStringList{QStringLiteral(".notes"), QStringLiteral(".notes (2)"),
                                                 QStringLiteral(".notes (3)")};
    }

    void neverReplacesAnExistingFile() {
        QFETCH(QString, name);
        QFETCH(QStringList, expected);

        QTemporaryDir folder;
        for (int i = 0; i < expected.size(); ++i) {
            const QString text = QStringLiteral("copy %1").arg(i + 1);
            QCOMPARE(writer_->WriteText(folder.filePath(name), text, Existing::Keep, Encoding::Utf8, LineEnds::AsIs,
                                        Durability::Durable),
                     folder.filePath(expected.at(i)));
        }
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(ReadFile(folder.filePath(expected.at(i))), QStringLiteral("copy %1").arg(i + 1).toUtf8());
        QCOMPARE(Listing(folder.path()).size(), expected.size());
    }

    void aDirectoryInTheWayIsSkippedWhenKeeping() {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("X.TXT")));
        QCOMPARE(writer_->WriteText(folder.filePath(QStringLiteral("X.TXT")), QStringLiteral("t"), Existing::Keep,
                                    Encoding::Utf8, LineEnds::AsIs, Durability::Durable),
                 folder.filePath(QStringLiteral("X (2).TXT")));
    }

    void replacesWhenAsked() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("X.TXT"));
        WriteBytes(path, "old and longer");
        QCOMPARE(writer_->WriteText(path, QStringLiteral("new"), Existing::Replace, Encoding::Utf8, LineEnds::AsIs,
                                    Durability::NotFlushed),
                 path);
        QCOMPARE(ReadFile(path), QByteArray("new"));
        QCOMPARE(Listing(folder.path()), QStringList{QStringLiteral("X.TXT")});
    }

    // A durable write asks the disk to keep the new file and then the folder that took its name;
    // one that is not durable asks for neither.
    void durableWritesReachTheDisk_data() {
        QTest::addColumn<int>("keepExisting");
        QTest::addColumn<int>("durability");
        QTest::addColumn<int>("fileSyncs");
        QTest::addColumn<int>("folderSyncs");
        QTest::newRow("new copy, durable") << -1 << 1 << 1 << 1;
        QTest::newRow("replaced, durable") << 0 << 1 << 1 << 1;
        QTest::newRow("new copy, not flushed") << -1 << 0 << 0 << 0;
    }
    void durableWritesReachTheDisk() {
        QFETCH(int, keepExisting);
        QFETCH(int, durability);
        QFETCH(int, fileSyncs);
        QFETCH(int, folderSyncs);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("X.TXT"));
        WriteBytes(path, "old");
        const SyncCounts before = DiskSyncs();
        writer_->WriteText(path, QStringLiteral("new"), Existing(keepExisting), Encoding::Utf8, LineEnds::AsIs,
                           Durability(durability));
        QCOMPARE(DiskSyncs().files - before.files, fileSyncs);
        QCOMPARE(DiskSyncs().folders - before.folders, folderSyncs);
    }

#ifndef Q_OS_WIN // file modes are POSIX's
    // A copy is readable by its owner only, whatever the umask lets through; a file written
    // again loses the mode it had.
    void writtenFilesArePrivate_data() {
        QTest::addColumn<int>("keepExisting");
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("mode");
        QTest::newRow("new copy, umask 022") << -1 << 022 << 0600;
        QTest::newRow("new copy, umask 000") << -1 << 0 << 0600;
        QTest::newRow("new copy, umask 0277") << -1 << 0277 << 0400;
        QTest::newRow("replaced file, umask 022") << 0 << 022 << 0600;
    }
    void writtenFilesArePrivate() {
        QFETCH(int, keepExisting);
        QFETCH(int, umask);
        QFETCH(int, mode);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("X.TXT"));
        WriteBytes(path, "old");
        QVERIFY(
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        QString written;
        {
            const test::ScopedUmask mask(umask);
            written = writer_->WriteText(path, QStringLiteral("new"), Existing(keepExisting), Encoding::Utf8,
                                         LineEnds::AsIs, Durability::NotFlushed);
        }
        QCOMPARE(test::FileMode(written), mode);
        QCOMPARE(written != path, keepExisting == -1); // a file that exists is kept only when asked
        if (written != path)
            QCOMPARE(test::FileMode(path), 0644); // not written: keeps its mode
    }
#endif

    // Writers racing for the same name each end up with a file of their own.
    void concurrentWritersKeepEveryCopy() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Message.TXT"));
        constexpr int kWriters = 8;
        std::vector<QString> written(kWriters);
        std::vector<std::thread> threads;
        for (int i = 0; i < kWriters; ++i) {
            threads.emplace_back([&, i] {
                try {
                    written[i] = writer_->WriteText(path, QStringLiteral("writer %1").arg(i), Existing::Keep,
                                                    Encoding::Utf8, LineEnds::AsIs, Durability::Durable);
                } catch (const Error&) {
                }
            });
        }
        for (auto& thread : threads)
            thread.join();

        QSet<QString> names;
        for (int i = 0; i < kWriters; ++i) {
            QVERIFY2(!written[i].isEmpty(), qPrintable(QStringLiteral("writer %1 failed").arg(i)));
            QCOMPARE(ReadFile(written[i]), QStringLiteral("writer %1").arg(i).toUtf8());
            names.insert(written[i]);
        }
        QCOMPARE(names.size(), kWriters);
        QCOMPARE(Listing(folder.path()).size(), kWriters);
    }

    void failureThrowsAndLeavesNothing_data() {
        QTest::addColumn<QString>("relativePath");
        QTest::addColumn<int>("keepExisting");
        QTest::newRow("folder is a file") << QStringLiteral("plain/X.TXT") << -1;
        QTest::newRow("folder missing") << QStringLiteral("missing/X.TXT") << -1;
        QTest::newRow("directory in the way of a replace") << QStringLiteral("dir") << 0;
        QTest::newRow("empty path") << QString() << -1;
    }

    void failureThrowsAndLeavesNothing() {
        QFETCH(QString, relativePath);
        QFETCH(int, keepExisting);

        QTemporaryDir folder;
        WriteBytes(folder.filePath(QStringLiteral("plain")), "a regular file");
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("dir")));
        const QStringList before = Listing(folder.path());

        const QString path = relativePath.isEmpty() ? QString() : folder.filePath(relativePath);
        bool thrown = false;
        try {
            writer_->WriteText(path, QStringLiteral("text"), Existing(keepExisting), Encoding::Utf8, LineEnds::AsIs,
                               Durability::Durable);
        } catch (const Error& error) {
            thrown = true;
            QVERIFY(!error.description().isEmpty());
            QVERIFY(error.number() != 0);
        }
        QVERIFY(thrown);
        QCOMPARE(Listing(folder.path()), before);
        QCOMPARE(Listing(folder.filePath(QStringLiteral("dir"))), QStringList());
    }

private:
    QTemporaryDir dir_;
    std::shared_ptr<platform::TextFileWriter> writer_;
};

PELLORA_TEST_MAIN(TextFileWriterTest)
#include "TextFileWriterTest.moc"
