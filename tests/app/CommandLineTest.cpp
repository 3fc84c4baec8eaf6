// The command line's rules: what the arguments ask for, the message's line breaks and text, and
// the one line a failure's box text becomes. The program itself is run in cli.sh.

#include "app/CommandLine.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QtTest>

using namespace pellora;
using namespace pellora::commandLine;

namespace {

// "-" in a table stands for a value that was not given.
QString Shown(const std::optional<QString>& value) { return value ? *value : QStringLiteral("-"); }

const QString kHelp = QStringLiteral(" (pellora --help shows the usage)");

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("computer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("error");
        const int window = int(Mode::Window), send = int(Mode::Send);
        QTest::newRow("nothing: the window") << QStringList{} << window << "-"
                                             << "-"
                                             << "-"
                                             << "-"
                                             << "";
        QTest::newRow("a send") << QStringList{"--send", "--from", "Ann", "--to", "Bob", "--computer", "PC7", "Hi"}
                                << send << "Ann"
                                << "Bob"
                                << "PC7"
                                << "Hi"
                                << "";
        QTest::newRow("words joined with single blanks")
            << QStringList{"--send", "Hi", "there  you", "all"} << send << "-"
            << "-"
            << "-"
            << "Hi there  you all"
            << "";
        QTest::newRow("options after words") << QStringList{"Hi", "--to", "Bob", "there"} << window << "-"
                                             << "Bob"
                                             << "-"
                                             << "Hi there"
                                             << "";
        QTest::newRow("no words: the standard input") << QStringList{"--send", "--from", "Ann"} << send << "Ann"
                                                      << "-"
                                                      << "-"
                                                      << "-"
                                                      << "";
        QTest::newRow("after --, options are words") << QStringList{"--send", "--", "--to", "-x"} << send << "-"
                                                     << "-"
                                                     << "-"
                                                     << "--to -x"
                                                     << "";
        QTest::newRow("-- with nothing after it") << QStringList{"--send", "--"} << send << "-"
                                                  << "-"
                                                  << "-"
                                                  << "-"
                                                  << "";
        QTest::newRow("a lone dash is a word") << QStringList{"--send", "-"} << send << "-"
                                               << "-"
                                               << "-"
                                               << "-"
                                               << "";
        QTest::newRow("an empty name is given") << QStringList{"--send", "--from", ""} << send << ""
                                                << "-"
                                                << "-"
                                                << "-"
                                                << "";
        QTest::newRow("a value that looks like an option") << QStringList{"--to", "--send"} << window << "-"
                                                           << "--send"
                                                           << "-"
                                                           << "-"
                                                           << "";
        QTest::newRow("the window's fields")
            << QStringList{"--from", "Ann", "--computer", "PC7", "Hi"} << window << "Ann"
            << "-"
            << "PC7"
            << "Hi"
            << "";
        QTest::newRow("help") << QStringList{"--send", "--help", "--version"} << int(Mode::Help) << "-"
                              << "-"
                              << "-"
                              << "-"
                              << "";
        QTest::newRow("-h") << QStringList{"-h"} << int(Mode::Help) << "-"
                            << "-"
                            << "-"
                            << "-"
                            << "";
        QTest::newRow("version") << QStringList{"--send", "--version"} << int(Mode::Version) << "-"
                                 << "-"
                                 << "-"
                                 << "-"
                                 << "";
        QTest::newRow("unknown option") << QStringList{"--send", "--bogus", "Hi"} << send << "-"
                                        << "-"
                                        << "-"
                                        << "Hi"
                                        << "pellora: unknown option --bogus" + kHelp;
        QTest::newRow("unknown short option") << QStringList{"-x"} << window << "-"
                                              << "-"
                                              << "-"
                                              << "-"
                                              << "pellora: unknown option -x" + kHelp;
        QTest::newRow("the first error is told") << QStringList{"--a", "--b"} << window << "-"
                                                 << "-"
                                                 << "-"
                                                 << "-"
                                                 << "pellora: unknown option --a" + kHelp;
        QTest::newRow("missing value") << QStringList{"--send", "--computer"} << send << "-"
                                       << "-"
                                       << "-"
                                       << "-"
                                       << "pellora: --computer needs a name" + kHelp;
        QTest::newRow("name too long")
            << QStringList{"--from", QString(256, u'x')} << window << QString(256, u'x') << "-"
            << "-"
            << "-"
            << "pellora: the name of --from is longer than 255 characters or has a line break" + kHelp;
        QTest::newRow("longest name") << QStringList{"--from", QString(255, u'x')} << window << QString(255, u'x')
                                      << "-"
                                      << "-"
                                      << "-"
                                      << "";
        QTest::newRow("name with a line break")
            << QStringList{"--to", "a\nb"} << window << "-"
            << "a\nb"
            << "-"
            << "-"
            << "pellora: the name of --to is longer than 255 characters or has a line break" + kHelp;
    }
    void parse() {
        QFETCH(QStringList, arguments);
        const Request request = Parse(arguments);
        QTEST(int(request.mode), "mode");
        QTEST(Shown(request.from), "from");
        QTEST(Shown(request.to), "to");
        QTEST(Shown(request.computer), "computer");
        QTEST(Shown(request.message), "message");
        QTEST(request.error, "error");
    }

    // As the message field turns what is pasted or put into it into the text it sends.
    void lineBreaks_data() {
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("sent");
        QTest::newRow("CR LF") << "a\r\nb"
                               << "a\r\nb";
        QTest::newRow("LF") << "a\nb"
                            << "a\r\nb";
        QTest::newRow("CR") << "a\rb"
                            << "a\r\nb";
        QTest::newRow("final LF") << "Hi\n"
                                  << "Hi\r\n";
        QTest::newRow("final CR LF") << "Hi\r\n"
                                     << "Hi\r\n";
        QTest::newRow("empty line") << "a\n\nb"
                                    << "a\r\n\r\nb";
        QTest::newRow("CR before CR LF") << "a\r\r\nb"
                                         << "a\r\n\r\nb";
        QTest::newRow("LF CR") << "a\n\rb"
                               << "a\r\n\r\nb";
        QTest::newRow("paragraph separator") << QStringLiteral("a\u2029b") << "a\r\nb";
        QTest::newRow("line separator stays") << QStringLiteral("a\u2028b") << QStringLiteral("a\u2028b");
        QTest::newRow("tab, blanks, form feed stay") << " \ta\f "
                                                     << " \ta\f ";
    }
    void lineBreaks() {
        QFETCH(QString, read);
        QTEST(WithWindowLineBreaks(read), "sent");
    }

    void decodeMessage_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8") << QByteArray("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC") << true << QStringLiteral("Grüß €");
        QTest::newRow("byte order mark dropped") << QByteArray("\xEF\xBB\xBFHi") << true << "Hi";
        QTest::newRow("empty") << QByteArray() << true << "";
        QTest::newRow("NUL stays") << QByteArray("a\0b", 3) << true << QString::fromUtf16(u"a\0b", 3);
        QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9") << false << "";
        QTest::newRow("cut sequence") << QByteArray("a\xC3") << false << "";
        QTest::newRow("overlong") << QByteArray("\xC0\xAF") << false << "";
        QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << false << "";
    }
    void decodeMessage() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        const std::optional<QString> text = DecodeMessage(bytes);
        QCOMPARE(text.has_value(), valid);
        if (valid)
            QTEST(*text, "text");
    }

    void oneLine_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("line");
        QTest::newRow("one line") << "The nature don't like emptiness."
                                  << "The nature don't like emptiness.";
        QTest::newRow("path and sentence") << "\\\\PC7\\mailslot\\messngr\r\n\r\nCan't open mailslot."
                                           << "\\\\PC7\\mailslot\\messngr: Can't open mailslot.";
        QTest::newRow("with a reason")
            << "\\\\PC7\\mailslot\\messngr\r\n\r\nCan't write to mailslot.\r\nThe message has 425 bytes; at most 424 "
               "fit."
            << "\\\\PC7\\mailslot\\messngr: Can't write to mailslot. The message has 425 bytes; at most 424 fit.";
        QTest::newRow("empty reason") << "/d/Message.TXT\r\n\r\nCan't write file.\r\n"
                                      << "/d/Message.TXT: Can't write file.";
    }
    void oneLine() {
        QFETCH(QString, box);
        QTEST(OneLine(box), "line");
    }

    void version() { QCOMPARE(VersionText(), QStringLiteral("Kestrine - Pellora 1.02.0014")); }
};

PELLORA_TEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
