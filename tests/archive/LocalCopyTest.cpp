#include "archive/LocalCopy.h"
#include "platform/App.h"
#include "platform/Components.h"
#include "platform/Services.h"
#include "platform/SystemServices.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace pellora;
using archive::LocalCopyFileName;
using pellora::test::ReadFile;

namespace {

const QDateTime kSent(QDate(2016, 2, 24), QTime(10, 1, 5));
const QString kPromptSentence = QStringLiteral("Can't write file. Local copy of this message was not saved.");

QStringList Listing(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The real writer behind a script of failures: the first `failures` attempts throw.
class FlakyWriter : public platform::TextFileWriter {
public:
    QString WriteText(const QString& path, const QString& text, int keepExisting, int encoding, int lineEnds,
                      int durability) override {
        paths << path;
        options << QList<int>{keepExisting, encoding, lineEnds, durability};
        if (failures > 0) {
            --failures;
            if (throwForeign)
                throw std::runtime_error("out of luck");
            throw Error(ErrorNumber::DiskFull, QStringLiteral("No space left on device"));
        }
        return real->WriteText(path, text, keepExisting, encoding, lineEnds, durability);
    }

    std::shared_ptr<platform::TextFileWriter> real = platform::CreateSystemTextFileWriter();
    int failures = 0;
    bool throwForeign = false;
    QStringList paths;
    QList<QList<int>> options;
};

} // namespace

class LocalCopyTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        fakes_ = test::InstallFakes();
        QVERIFY(data_.isValid());
        for (const QString& name : Listing(data_.path()))
            QFile::remove(data_.filePath(name));
    }

    void cleanupTestCase() { platform::ResetServices(); }

    void fileName_data() {
        QTest::addColumn<QDateTime>("sent");
        QTest::addColumn<bool>("prefix");
        QTest::addColumn<QString>("expected");
        const QDateTime march(QDate(2016, 3, 1), QTime(9, 5, 3));
        QTest::newRow("prefix off") << march << false << "Message 2016-03-01 09-05-03.TXT";
        QTest::newRow("prefix on") << march << true << "~$Message 2016-03-01 09-05-03.TXT";
        QTest::newRow("23:59:59, no AM/PM")
            << QDateTime(QDate(2016, 12, 31), QTime(23, 59, 59)) << false << "Message 2016-12-31 23-59-59.TXT";
        QTest::newRow("midnight") << QDateTime(QDate(2016, 2, 24), QTime(0, 0)) << false
                                  << "Message 2016-02-24 00-00-00.TXT";
        QTest::newRow("noon") << QDateTime(QDate(2016, 2, 24), QTime(12, 0, 7)) << false
                              << "Message 2016-02-24 12-00-07.TXT";
    }

    void fileName() {
        QFETCH(QDateTime, sent);
        QFETCH(bool, prefix);
        QFETCH(QString, expected);
        QCOMPARE(LocalCopyFileName(sent, prefix), expected);
    }

    void dateText_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("day.month.year, 24 hours") << "de_DE" << QTime(10, 1, 5) << "24.02.16 10:01:05";
        QTest::newRow("month/day/year, AM") << "en_US" << QTime(10, 1, 5) << "2/24/16 10:01:05 AM";
        QTest::newRow("PM") << "en_US" << QTime(23, 59, 59) << "2/24/16 11:59:59 PM";
        QTest::newRow("midnight leaves the time out") << "de_DE" << QTime(0, 0, 0) << "24.02.16";
        QTest::newRow("one second past midnight") << "de_DE" << QTime(0, 0, 1) << "24.02.16 00:00:01";
        QTest::newRow("time zone in front") << "zh_CN" << QTime(10, 1, 5) << "2016/2/24 10:01:05";
        QTest::newRow("quoted letters kept") << "fr_CA" << QTime(10, 1, 5) << "2016-02-24 10 h 01 min 05 s";
    }

    void dateText() {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        QCOMPARE(archive::DateText(QDateTime(QDate(2016, 2, 24), time), QLocale(locale)), expected);
    }

    void text_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("computer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected"); // %1 stands for the date text

        QTest::newRow("all fields") << "Ann"
                                    << "Bob"
                                    << "PC7"
                                    << "Hi"
                                    << "From:     Ann\r\nTo:       Bob\r\nComputer: PC7\r\nDate:     %1\r\n\r\nHi";
        QTest::newRow("empty message ends with two CR LF")
            << "Ann"
            << "Bob"
            << "PC7"
            << ""
            << "From:     Ann\r\nTo:       Bob\r\nComputer: PC7\r\nDate:     %1\r\n\r\n";
        QTest::newRow("three lines keep their inner CR LF")
            << "Ann"
            << "Bob"
            << "PC7"
            << "one\r\ntwo\r\nthree"
            << "From:     Ann\r\nTo:       Bob\r\nComputer: PC7\r\nDate:     %1\r\n\r\none\r\ntwo\r\nthree";
        QTest::newRow("no sender") << ""
                                   << "Bob"
                                   << "PC7"
                                   << "Hi"
                                   << "To:       Bob\r\nComputer: PC7\r\nDate:     %1\r\n\r\nHi";
        QTest::newRow("no recipient") << "Ann"
                                      << ""
                                      << "PC7"
                                      << "Hi"
                                      << "From:     Ann\r\nComputer: PC7\r\nDate:     %1\r\n\r\nHi";
        QTest::newRow("no computer") << "Ann"
                                     << "Bob"
                                     << ""
                                     << "Hi"
                                     << "From:     Ann\r\nTo:       Bob\r\nDate:     %1\r\n\r\nHi";
        QTest::newRow("no names") << ""
                                  << ""
                                  << ""
                                  << "Hi"
                                  << "Date:     %1\r\n\r\nHi";
        QTest::newRow("blank name counts as filled")
            << " "
            << "Bob"
            << "PC7"
            << "Hi"
            << "From:      \r\nTo:       Bob\r\nComputer: PC7\r\nDate:     %1\r\n\r\nHi";
        QTest::newRow("message ending in a line break keeps it")
            << "Ann"
            << "Bob"
            << "PC7"
            << "Hi\r\n"
            << "From:     Ann\r\nTo:       Bob\r\nComputer: PC7\r\nDate:     %1\r\n\r\nHi\r\n";
    }

    // The bytes of the file the send leaves behind.
    void text() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, computer);
        QFETCH(QString, message);
        QFETCH(QString, expected);

        archive::SaveLocalCopy(data_.path(), false, from, to, computer, kSent, message);
        QCOMPARE(Listing(data_.path()), QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")});
        QCOMPARE(ReadFile(data_.filePath(QStringLiteral("Message 2016-02-24 10-01-05.TXT"))),
                 expected.arg(archive::DateText(kSent)).toUtf8());
        QVERIFY(fakes_.boxes->shown.isEmpty());
    }

    // Two copies in the same second: the second must not destroy the first.
    void sameSecondKeepsBoth() {
        archive::SaveLocalCopy(data_.path(), false, "Ann", "Bob", "PC7", kSent, QStringLiteral("first"));
        archive::SaveLocalCopy(data_.path(), false, "Ann", "Bob", "PC7", kSent, QStringLiteral("second"));
        QCOMPARE(Listing(data_.path()), (QStringList{QStringLiteral("Message 2016-02-24 10-01-05 (2).TXT"),
                                                     QStringLiteral("Message 2016-02-24 10-01-05.TXT")}));
        QVERIFY(ReadFile(data_.filePath(QStringLiteral("Message 2016-02-24 10-01-05.TXT"))).endsWith("first"));
        QVERIFY(ReadFile(data_.filePath(QStringLiteral("Message 2016-02-24 10-01-05 (2).TXT"))).endsWith("second"));
    }

    void retryAndCancel_data() {
        QTest::addColumn<int>("failures");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<bool>("saved");
        QTest::newRow("fails, Retry succeeds") << 1 << QList<int>{4} << 1 << true;
        QTest::newRow("earlier failures do not count against a later success") << 3 << QList<int>{4, 4, 4} << 3 << true;
        QTest::newRow("Cancel gives up") << 1 << QList<int>{2} << 1 << false;
        QTest::newRow("Retry, then Cancel") << 2 << QList<int>{4, 2} << 2 << false;
        QTest::newRow("any answer but Retry gives up") << 1 << QList<int>{1} << 1 << false;
    }

    void retryAndCancel() {
        QFETCH(int, failures);
        QFETCH(QList<int>, answers);
        QFETCH(int, prompts);
        QFETCH(bool, saved);

        auto writer = std::make_shared<FlakyWriter>();
        writer->failures = failures;
        platform::services().textFileWriter = writer;
        for (int answer : answers)
            fakes_.boxes->answers.push_back(answer);

        archive::SaveLocalCopy(data_.path(), false, "Ann", "Bob", "PC7", kSent, QStringLiteral("Hi"));

        QCOMPARE(writer->paths.size(), prompts + (saved ? 1 : 0));
        const QString path = writer->paths.first();
        QVERIFY(path.endsWith(QStringLiteral("/Message 2016-02-24 10-01-05.TXT")));
        QCOMPARE(QSet<QString>(writer->paths.begin(), writer->paths.end()).size(), 1); // the same path each time
        for (const QList<int>& options : writer->options)
            QCOMPARE(options, (QList<int>{-1, 2, 2, 1}));

        QCOMPARE(fakes_.boxes->shown.size(), prompts);
        for (const test::ShownMessage& shown : fakes_.boxes->shown) {
            QCOMPARE(shown.text, path + QStringLiteral("\r\n\r\n") + kPromptSentence);
            QCOMPARE(shown.style, 21);
            QCOMPARE(shown.title, App().Title);
            QCOMPARE(shown.detail, QStringLiteral("No space left on device"));
        }
        QCOMPARE(Listing(data_.path()),
                 saved ? QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")} : QStringList{});
    }

    // With the real writer: a data folder that cannot hold files, Retry, then Cancel.
    void unwritableFolder() {
        QFile plain(data_.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        fakes_.boxes->answers = {4, 2};

        archive::SaveLocalCopy(plain.fileName(), true, "Ann", "Bob", "PC7", kSent, QStringLiteral("Hi"));

        QCOMPARE(fakes_.boxes->shown.size(), 2);
        const test::ShownMessage& shown = fakes_.boxes->shown.first();
        QVERIFY(shown.text.startsWith(plain.fileName()));
        QVERIFY(shown.text.endsWith(QStringLiteral("~$Message 2016-02-24 10-01-05.TXT\r\n\r\n") + kPromptSentence));
        QVERIFY(!shown.detail.isEmpty());
        QCOMPARE(Listing(data_.path()), QStringList{QStringLiteral("plain")});
    }

    void anyFailureIsContained() {
        auto writer = std::make_shared<FlakyWriter>();
        writer->failures = 1;
        writer->throwForeign = true;
        platform::services().textFileWriter = writer;
        fakes_.boxes->answers = {2};

        archive::SaveLocalCopy(data_.path(), false, "Ann", "Bob", "PC7", kSent, QStringLiteral("Hi"));
        QCOMPARE(fakes_.boxes->shown.size(), 1);
        QCOMPARE(fakes_.boxes->shown.first().style, 21);
    }

private:
    test::Fakes fakes_;
    QTemporaryDir data_;
};

PELLORA_TEST_MAIN(LocalCopyTest)
#include "LocalCopyTest.moc"
