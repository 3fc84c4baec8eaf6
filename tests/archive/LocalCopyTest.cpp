#include "archive/LocalCopy.h"
#include "platform/components/Components.h"
#include "platform/runtime/Services.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

#ifndef Q_OS_WIN
#include <locale.h>
#endif

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
    QString WriteText(const QString& path, const QString& text, platform::Existing existing,
                      platform::Encoding encoding, platform::LineEnds lineEnds,
                      platform::Durability durability) override {
        paths << path;
        options << QList<int>{int(existing), int(encoding), int(lineEnds), int(durability)};
        if (failures > 0) {
            --failures;
            if (throwForeign)
                throw std::runtime_error("out of luck");
            throw Error(ErrorNumber::DiskFull, QStringLiteral("No space left on device"));
        }
        return real->WriteText(path, text, existing, encoding, lineEnds, durability);
    }

    std::shared_ptr<platform::TextFileWriter> real = platform::CreateSystemTextFileWriter();
    int failures = 0;
    bool throwForeign = false;
    QStringList paths;
    QList<QList<int>> options;
};

// Sets the locale variables for the life of the object, unsetting the others, and restores
// them afterwards.
class LocaleVariables {
public:
    explicit LocaleVariables(const QString& assignments) {
        for (const char* name : kNames)
            saved_.append({name, qgetenv(name)});
        for (const char* name : kNames)
            qunsetenv(name);
        for (const QString& assignment : assignments.split(u' ', Qt::SkipEmptyParts)) {
            const qsizetype equals = assignment.indexOf(u'=');
            const QByteArray value = assignment.mid(equals + 1).toLocal8Bit();
            qputenv(assignment.left(equals).toLocal8Bit().constData(), value);
#ifndef Q_OS_WIN
            // Every locale a row names must be there: a missing one would only look like "C".
            const locale_t probe = newlocale(LC_TIME_MASK, value.constData(), static_cast<locale_t>(nullptr));
            if (probe != static_cast<locale_t>(nullptr))
                freelocale(probe);
            else if (!value.startsWith("xx_"))
                missing_ += QStringLiteral("locale %1 is not installed (scripts/install-deps --test installs "
                                           "locales-all); ")
                                .arg(QString::fromLocal8Bit(value));
#endif
        }
    }
    ~LocaleVariables() {
        for (const auto& [name, value] : saved_) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    LocaleVariables(const LocaleVariables&) = delete;
    LocaleVariables& operator=(const LocaleVariables&) = delete;

    bool installed() const { return missing_.isEmpty(); }
    QString missing() const { return missing_; }

private:
    static constexpr const char* kNames[] = {"LC_ALL", "LC_TIME", "LC_CTYPE", "LANG"};
    QList<QPair<const char*, QByteArray>> saved_;
    QString missing_;
};

} // namespace

class LocalCopyTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        fakes_ = test::InstallFakes();
        asked_.clear();
        answers_.clear();
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
        // Start-up keeps private what the patterns match: every name the copy gets.
        QVERIFY(QDir::match(archive::LocalCopyFilePatterns(), expected));
    }

// Windows takes the formats from the account, not from locale variables; the window tests check
// its date line there.
#ifndef Q_OS_WIN
    // The date line follows the locale that LC_ALL, LC_TIME or LANG names, with the C library's
    // own short date and time formats (those of strftime's %x and %X), the year always with its
    // century.
    void dateText_data() {
        QTest::addColumn<QString>("variables"); // NAME=value, blank-separated; the others are unset
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("expected");
        const QDate day(2016, 2, 24);
        const QString de = QStringLiteral("LC_ALL=de_DE.UTF-8");
        const QString us = QStringLiteral("LC_ALL=en_US.UTF-8");
        QTest::newRow("day.month.year, 24 hours") << de << QDateTime(day, QTime(10, 1, 5)) << "24.02.2016 10:01:05";
        QTest::newRow("month/day/year, AM") << us << QDateTime(day, QTime(10, 1, 5)) << "02/24/2016 10:01:05 AM";
        QTest::newRow("PM") << us << QDateTime(day, QTime(23, 59, 59)) << "02/24/2016 11:59:59 PM";
        QTest::newRow("noon hour, PM") << us << QDateTime(QDate(2026, 12, 7), QTime(12, 42, 54))
                                       << "12/07/2026 12:42:54 PM";
        QTest::newRow("midnight leaves the time out") << de << QDateTime(day, QTime(0, 0, 0)) << "24.02.2016";
        QTest::newRow("midnight, AM/PM locale") << us << QDateTime(day, QTime(0, 0, 0)) << "02/24/2016";
        QTest::newRow("one second past midnight") << de << QDateTime(day, QTime(0, 0, 1)) << "24.02.2016 00:00:01";
        QTest::newRow("one second past midnight, AM/PM locale")
            << us << QDateTime(day, QTime(0, 0, 1)) << "02/24/2016 12:00:01 AM";
        QTest::newRow("C locale") << "LC_ALL=C" << QDateTime(QDate(2026, 12, 7), QTime(12, 42, 54))
                                  << "12/07/2026 12:42:54";
        QTest::newRow("POSIX locale") << "LC_ALL=POSIX" << QDateTime(day, QTime(10, 1, 5)) << "02/24/2016 10:01:05";
        QTest::newRow("no variable set") << "" << QDateTime(day, QTime(10, 1, 5)) << "02/24/2016 10:01:05";
        QTest::newRow("locale without its character set")
            << "LC_ALL=de_DE" << QDateTime(day, QTime(10, 1, 5)) << "24.02.2016 10:01:05";
        QTest::newRow("LC_TIME over LANG")
            << "LC_TIME=de_DE.UTF-8 LANG=en_US.UTF-8" << QDateTime(day, QTime(10, 1, 5)) << "24.02.2016 10:01:05";
        QTest::newRow("LANG alone") << "LANG=en_US.UTF-8" << QDateTime(day, QTime(10, 1, 5))
                                    << "02/24/2016 10:01:05 AM";
        QTest::newRow("LC_ALL over LC_TIME")
            << "LC_ALL=en_US.UTF-8 LC_TIME=de_DE.UTF-8" << QDateTime(day, QTime(10, 1, 5)) << "02/24/2016 10:01:05 AM";
        QTest::newRow("LC_CTYPE does not decide")
            << "LC_CTYPE=de_DE.UTF-8" << QDateTime(day, QTime(10, 1, 5)) << "02/24/2016 10:01:05";
        QTest::newRow("locale not installed gives C")
            << "LC_ALL=xx_XX.UTF-8" << QDateTime(day, QTime(10, 1, 5)) << "02/24/2016 10:01:05";
        QTest::newRow("year first") << "LC_ALL=fr_CA.UTF-8" << QDateTime(day, QTime(10, 1, 5)) << "2016-02-24 10:01:05";
        QTest::newRow("letters of the locale")
            << "LC_ALL=zh_CN.UTF-8" << QDateTime(day, QTime(10, 1, 5)) << QStringLiteral("2016年02月24日 10时01分05秒");
        // The locale's order and separators, always with the century.
        const QDateTime evening(QDate(2026, 12, 7), QTime(19, 29, 59));
        QTest::newRow("two-digit year of the locale widened")
            << "LC_ALL=en_GB.UTF-8" << evening << "07/12/2026 19:29:59";
        QTest::newRow("C.UTF-8 with the century") << "LC_ALL=C.UTF-8" << evening << "12/07/2026 19:29:59";
        QTest::newRow("unpadded day and month") << "LC_ALL=ca_ES.UTF-8" << evening << "7/12/2026 19:29:59";
        QTest::newRow("year in the locale's digits")
            << "LC_ALL=fa_IR.UTF-8" << evening << QStringLiteral("۲۰۲۶/۱۲/۰۷ ۱۹:۲۹:۵۹");
    }

    void dateText() {
        QFETCH(QString, variables);
        QFETCH(QDateTime, when);
        QFETCH(QString, expected);
        LocaleVariables environment(variables);
        QVERIFY2(environment.installed(), qPrintable(environment.missing()));
        QCOMPARE(archive::DateText(when), expected);
    }
#endif

#ifndef Q_OS_WIN // Windows takes the formats from the account, not from locale variables
    // A whole copy under day.month.year and a 24-hour clock.
    void copyWithRegionalDate() {
        LocaleVariables environment(QStringLiteral("LC_ALL=de_DE.UTF-8"));
        QVERIFY2(environment.installed(), qPrintable(environment.missing()));
        archive::SaveLocalCopy(data_.path(), false, "Ann", "Bob", "PC7", kSent, QStringLiteral("Hi"), Ask());
        QCOMPARE(
            ReadFile(data_.filePath(QStringLiteral("Message 2016-02-24 10-01-05.TXT"))),
            QByteArray("From:     Ann\r\nTo:       Bob\r\nComputer: PC7\r\nDate:     24.02.2016 10:01:05\r\n\r\nHi"));
    }
#endif

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

#ifdef Q_OS_WIN
        // Windows takes the date's format from the account (Wine: from LC_ALL, en_US in the run).
        const QString date = QStringLiteral("2/24/2016 10:01:05 AM");
#else
        LocaleVariables environment(QStringLiteral("LC_ALL=C"));
        const QString date = QStringLiteral("02/24/2016 10:01:05");
#endif
        archive::SaveLocalCopy(data_.path(), false, from, to, computer, kSent, message, Ask());
        QCOMPARE(Listing(data_.path()), QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")});
        QCOMPARE(ReadFile(data_.filePath(QStringLiteral("Message 2016-02-24 10-01-05.TXT"))),
                 expected.arg(date).toUtf8());
        QVERIFY(asked_.isEmpty());
    }

    // Two copies in the same second: the second must not destroy the first.
    void sameSecondKeepsBoth() {
        archive::SaveLocalCopy(data_.path(), false, "Ann", "Bob", "PC7", kSent, QStringLiteral("first"), Ask());
        archive::SaveLocalCopy(data_.path(), false, "Ann", "Bob", "PC7", kSent, QStringLiteral("second"), Ask());
        QCOMPARE(Listing(data_.path()), (QStringList{QStringLiteral("Message 2016-02-24 10-01-05 (2).TXT"),
                                                     QStringLiteral("Message 2016-02-24 10-01-05.TXT")}));
        QVERIFY(ReadFile(data_.filePath(QStringLiteral("Message 2016-02-24 10-01-05.TXT"))).endsWith("first"));
        QVERIFY(ReadFile(data_.filePath(QStringLiteral("Message 2016-02-24 10-01-05 (2).TXT"))).endsWith("second"));
    }

    void retryAndCancel_data() {
        QTest::addColumn<int>("failures");
        QTest::addColumn<QList<bool>>("answers"); // true: Retry
        QTest::addColumn<int>("prompts");
        QTest::addColumn<bool>("saved");
        QTest::newRow("fails, Retry succeeds") << 1 << QList<bool>{true} << 1 << true;
        QTest::newRow("earlier failures do not count against a later success")
            << 3 << QList<bool>{true, true, true} << 3 << true;
        QTest::newRow("Cancel gives up") << 1 << QList<bool>{false} << 1 << false;
        QTest::newRow("Retry, then Cancel") << 2 << QList<bool>{true, false} << 2 << false;
    }

    void retryAndCancel() {
        QFETCH(int, failures);
        QFETCH(QList<bool>, answers);
        QFETCH(int, prompts);
        QFETCH(bool, saved);

        auto writer = std::make_shared<FlakyWriter>();
        writer->failures = failures;
        platform::services().textFileWriter = writer;
        answers_ = answers;

        archive::SaveLocalCopy(data_.path(), false, "Ann", "Bob", "PC7", kSent, QStringLiteral("Hi"), Ask());

        QCOMPARE(writer->paths.size(), prompts + (saved ? 1 : 0));
        const QString path = writer->paths.first();
        QVERIFY(path.endsWith(QDir::toNativeSeparators(QStringLiteral("/Message 2016-02-24 10-01-05.TXT"))));
        QCOMPARE(QSet<QString>(writer->paths.begin(), writer->paths.end()).size(), 1); // the same path each time
        for (const QList<int>& options : writer->options)
            QCOMPARE(options, (QList<int>{-1, 2, 2, 1}));

        QCOMPARE(asked_.size(), prompts);
        for (const Question& shown : asked_) {
            QCOMPARE(shown.text, path + QStringLiteral("\r\n\r\n") + kPromptSentence);
            QCOMPARE(shown.detail, QStringLiteral("No space left on device"));
        }
        QVERIFY(fakes_.boxes->shown.isEmpty()); // the window asks the user
        QCOMPARE(Listing(data_.path()),
                 saved ? QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")} : QStringList{});
    }

    // With the real writer: a data folder that cannot hold files, Retry, then Cancel.
    void unwritableFolder() {
        QFile plain(data_.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        answers_ = {true, false};

        archive::SaveLocalCopy(plain.fileName(), true, "Ann", "Bob", "PC7", kSent, QStringLiteral("Hi"), Ask());

        QCOMPARE(asked_.size(), 2);
        const Question& shown = asked_.first();
        QVERIFY(shown.text.startsWith(QDir::toNativeSeparators(plain.fileName())));
        QVERIFY(shown.text.endsWith(QStringLiteral("~$Message 2016-02-24 10-01-05.TXT\r\n\r\n") + kPromptSentence));
        QVERIFY(!shown.detail.isEmpty());
        QCOMPARE(Listing(data_.path()), QStringList{QStringLiteral("plain")});
    }

    void anyFailureIsContained() {
        auto writer = std::make_shared<FlakyWriter>();
        writer->failures = 1;
        writer->throwForeign = true;
        platform::services().textFileWriter = writer;
        answers_ = {false};

        archive::SaveLocalCopy(data_.path(), false, "Ann", "Bob", "PC7", kSent, QStringLiteral("Hi"), Ask());
        QCOMPARE(asked_.size(), 1);
        QVERIFY(asked_.first().text.endsWith(kPromptSentence));
    }

private:
    // What SaveLocalCopy asked: the text and the failure's description.
    struct Question {
        QString text;
        QString detail;
    };
    // The question's answers, in turn (true: Retry); once they run out, Cancel.
    archive::AskRetry Ask() {
        return [this](const QString& text, const Error& failure) {
            asked_.append({text, failure.description()});
            return !answers_.isEmpty() && answers_.takeFirst();
        };
    }

    test::Fakes fakes_;
    QTemporaryDir data_;
    QList<Question> asked_;
    QList<bool> answers_;
};

PELLORA_TEST_MAIN(LocalCopyTest)
#include "LocalCopyTest.moc"
