// Bad input in every field and in every file the window reads: each row asserts what happens
// and that nothing typed is lost (what was sent, the local copy, the histories and the stored
// fields of the next start). Computer names on the real network: bad-computer.sh.

#include "support/WindowFixture.h"

#include "platform/components/HistoryList.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Services.h"

#include <QFile>
#include <QFileInfo>

using namespace pellora;
using test::Window;

namespace {

const QString kEmptyFields = QStringLiteral("The nature don't like emptiness.");

// A text of `size` characters from several scripts, with no line breaks.
QString Long(int size) {
    const QString pattern = QStringLiteral("abc Привет 日本 مرحبا ");
    QString text;
    text.reserve(size);
    while (text.size() < size)
        text += pattern;
    text.truncate(size);
    return text;
}

// Long(size) in the OEM code page 437 of the C locale: every character outside ASCII is '?'.
QByteArray LongOem(int size) {
    const QByteArray pattern("abc ?????? ?? ????? ");
    QByteArray bytes;
    while (bytes.size() < size)
        bytes += pattern;
    bytes.truncate(size);
    return bytes;
}

QString HistoryPath(const Window& w, const QString& file) { return w.values.DataPath + QLatin1Char('/') + file; }

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// After a fresh start: the three names are back in their fields and alone in their histories,
// with no message shown; a name longer than 255 characters is neither stored nor remembered.
void NamesCameBack(test::Window& w, QStringList expected) {
    QList<QStringList> histories;
    for (QString& name : expected) {
        histories.append(name.size() > 255 ? QStringList{} : QStringList{name});
        if (name.size() > 255)
            name.clear();
    }
    QCOMPARE(w.form->txtFrom->text(), expected[0]);
    QCOMPARE(w.form->txtTo->text(), expected[1]);
    QCOMPARE(w.form->txtComputer->text(), expected[2]);
    QCOMPARE(w.form->FromHistory->Entries(), histories[0]);
    QCOMPARE(w.form->ToHistory->Entries(), histories[1]);
    QCOMPARE(w.form->ComputerHistory->Entries(), histories[2]);
    QVERIFY(w.fakes.boxes->shown.isEmpty());
}

} // namespace

class BadInputTest : public QObject {
    Q_OBJECT

private slots:
    // The bytes and dates below are the C locale's: code page 437, test::kSentDate.
    void initTestCase() { test::UseCLocale(); }

    // --- the fields --------------------------------------------------------------------------

    void fields_data() {
        QTest::addColumn<int>("field"); // 0 sender, 1 recipient, 2 computer, 3 message
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sent"); // the text as sent; null when the send is refused
        // A computer text with a control character passes the input check but is refused
        // before the mailslot is opened.
        QTest::addColumn<bool>("unusableComputer");
        // Whether the packet fits into one mailslot write (424 bytes); when it does not, the
        // transport refuses the write as the real one does.
        QTest::addColumn<bool>("fits");
        QTest::addColumn<QByteArray>("packet"); // when sent
        // Name, typed, sent from the message field, sent from a name field (one line of at most 255
        // characters: what comes before the first line break).
        const QString values[][4] = {
            {QStringLiteral("empty"), QString(), QString(), QString()},
            {QStringLiteral("one blank"), QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" ")},
            {QStringLiteral("64 KiB"), Long(64 * 1024), Long(64 * 1024), Long(255)},
            {QStringLiteral("mixed scripts"), QStringLiteral("Ann Анна 安娜 آنا Ἄννα"),
             QStringLiteral("Ann Анна 安娜 آنا Ἄννα"), QStringLiteral("Ann Анна 安娜 آنا Ἄννα")},
            {QStringLiteral("emoji"), QStringLiteral("A😀👍🏽"), QStringLiteral("A😀👍🏽"),
             QStringLiteral("A😀👍🏽")},
            {QStringLiteral("U+0000"), QStringLiteral("A") + QChar(u'\0') + QStringLiteral("B"),
             QStringLiteral("A") + QChar(u'\0') + QStringLiteral("B"),
             QStringLiteral("A") + QChar(u'\0') + QStringLiteral("B")},
            {QStringLiteral("CR LF"), QStringLiteral("a\r\nb"), QStringLiteral("a\r\nb"), QStringLiteral("a")},
            {QStringLiteral("lone CR"), QStringLiteral("a\rb"), QStringLiteral("a\rb"), QStringLiteral("a")},
            {QStringLiteral("lone LF"), QStringLiteral("a\nb"), QStringLiteral("a\nb"), QStringLiteral("a")},
        };
        // The same, as the packet carries them (code page 437, NUL dropped): from the message
        // field, from a name field.
        const QByteArray oem[][2] = {
            {"", ""},
            {" ", " "},
            {"", LongOem(255)},                                     // the message is too long to be sent at all
            {"Ann ???? ?? ??? ???\xE0", "Ann ???? ?? ??? ???\xE0"}, // α is in the page
#ifdef Q_OS_WIN // Windows' own conversion: a '?' for each half of a surrogate pair
            {"A??????", "A??????"},
#else
            {"A???", "A???"},
#endif
            {"AB", "AB"},
            {"a\r\nb", "a"},
            {"a\r\nb", "a"},
            {"a\r\nb", "a"},
        };
        const char* fields[] = {"sender", "recipient", "computer", "message"};
        for (int f = 0; f < 4; ++f) {
            for (std::size_t row = 0; row < std::size(values); ++row) {
                const auto& v = values[row];
                QByteArray parts[] = {"Ann", "Bob", "Hi"}; // sender, recipient, message
                if (f != 2)
                    parts[f == 3 ? 2 : f] = oem[row][f == 3 ? 0 : 1];
                const QByteArray packet = parts[0] + '\0' + parts[1] + '\0' + parts[2] + '\0';
                QString sent = f == 3 ? v[2] : v[3];
                // The message box keeps lines, and hands them over with CR LF between them.
                if (f == 3 && !sent.isNull()) {
                    sent.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
                    sent.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
                }
                // 64 KiB in the message is far more than a mailslot write carries.
                const bool fits = !(v[0] == QStringLiteral("64 KiB") && f == 3);
                QTest::addRow("%s: %s", fields[f], qPrintable(v[0]))
                    << f << v[1] << sent << (f == 2 && v[0] == QStringLiteral("U+0000")) << fits << packet;
            }
        }
    }

    void fields() {
        QFETCH(int, field);
        QFETCH(QString, typed);
        QFETCH(QString, sent);
        QFETCH(bool, unusableComputer);
        QFETCH(bool, fits);
        QFETCH(QByteArray, packet);
        QStringList values{QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi")};
        values[field] = typed;
        QStringList expected = values;
        expected[field] = sent;

        Window w;
        w.fill(values[0], values[1], values[2], values[3]);
        QCOMPARE(w.form->txtFrom->text(), expected[0]);
        QCOMPARE(w.form->txtTo->text(), expected[1]);
        QCOMPARE(w.form->txtComputer->text(), expected[2]);
        w.form->cmdSend->click();

        if (sent.isNull()) {
            // Refused: said so, nothing sent or stored, everything typed still there.
            QCOMPARE(w.fakes.boxes->shown.size(), 1);
            QCOMPARE(w.fakes.boxes->shown[0].text, kEmptyFields);
            QVERIFY(w.fakes.mailslots->opened.isEmpty());
            QVERIFY(w.form->FromHistory->Entries().isEmpty());
            QVERIFY(w.dataFiles().isEmpty());
            QVERIFY(w.form->isVisible());
            QCOMPARE(w.form->txtFrom->text(), values[0]);
            QCOMPARE(w.form->txtTo->text(), values[1]);
            QCOMPARE(w.form->txtComputer->text(), values[2]);
            QCOMPARE(w.form->txtMessage->Text(), values[3]);
            QVERIFY(w.form->cmdSend->isEnabled());
            return;
        }

        if (unusableComputer) {
            // The path and "Can't open mailslot.": nothing opened, sent or copied; the names
            // are in the histories, as for any failed delivery; the window stays as it was.
            QCOMPARE(w.fakes.boxes->shown.size(), 1);
            QCOMPARE(w.fakes.boxes->shown[0].text,
                     QStringLiteral("\\\\") + sent + QStringLiteral("\\mailslot\\messngr\r\n\r\nCan't open mailslot."));
            QVERIFY(w.fakes.mailslots->opened.isEmpty());
            QVERIFY(w.fakes.mailslots->delivered.isEmpty());
            QVERIFY(w.dataFiles().isEmpty());
            QCOMPARE(w.form->ComputerHistory->Entries(), QStringList{sent});
            QVERIFY(w.form->isVisible());
            QCOMPARE(w.form->txtComputer->text(), sent);
            QVERIFY(w.form->cmdSend->isEnabled());
            return;
        } else if (!fits) {
            // Too long for one mailslot write: the transport refuses it, the user is told how
            // long it was, nothing is sent or copied, and everything typed is still there.
            // Only the 64 KiB message does not fit: "Ann" NUL "Bob" NUL, the message, NUL.
            const QString path = QStringLiteral("\\\\PC7\\mailslot\\messngr");
            const int packetBytes = 4 + 4 + 64 * 1024 + 1;
            QCOMPARE(test::FakeMailslots::MaxMessageBytes(path), 424);
            QCOMPARE(w.fakes.boxes->shown.size(), 1);
            QCOMPARE(
                w.fakes.boxes->shown[0].text,
                path + QStringLiteral("\r\n\r\nCan't write to mailslot.\r\nThe message has %1 bytes; at most 424 fit.")
                           .arg(packetBytes));
            QCOMPARE(w.fakes.mailslots->opened, QStringList{path});
            QVERIFY(w.fakes.mailslots->delivered.isEmpty());
            QCOMPARE(w.fakes.mailslots->openFiles, 0);
            QVERIFY(w.dataFiles().isEmpty());
            w.settle();
            QVERIFY(w.form->isVisible());
            QCOMPARE(w.form->txtFrom->text(), values[0]);
            QCOMPARE(w.form->txtTo->text(), values[1]);
            QCOMPARE(w.form->txtComputer->text(), values[2]);
            QCOMPARE(w.form->txtMessage->Text(), expected[3]);
            QVERIFY(w.form->cmdSend->isEnabled());
            QVERIFY(w.fakes.terminated->statuses.isEmpty());
            // Closed by the user: the next start shows and remembers the same names.
            w.close();
            QVERIFY(w.fakes.terminated->statuses.isEmpty());
            w.fakes.boxes->shown.clear();
            w.open();
            NamesCameBack(w, expected);
            return;
        }
        QVERIFY2(w.fakes.boxes->shown.isEmpty(), qPrintable(w.fakes.boxes->shown.value(0).text));
        QCOMPARE(w.fakes.mailslots->opened,
                 QStringList{QStringLiteral("\\\\") + expected[2] + QStringLiteral("\\mailslot\\messngr")});
        QCOMPARE(w.fakes.mailslots->delivered.size(), 1);
        QCOMPARE(w.fakes.mailslots->delivered[0], packet);
        // The local copy holds every character as typed.
        QCOMPARE(w.dataFiles().size(), 1);
        QCOMPARE(QString::fromUtf8(test::ReadFile(w.copyPath(w.dataFiles()[0]))),
                 QStringLiteral("From:     %1\r\nTo:       %2\r\nComputer: %3\r\nDate:     %5\r\n\r\n%4")
                     .arg(expected[0], expected[1], expected[2], expected[3], QString::fromLatin1(test::kSentDate)));
        QVERIFY(w.closesSoon());
        QVERIFY(w.fakes.terminated->statuses.isEmpty());

        // The next start shows the same sender, recipient and computer, and remembers them.
        w.open();
        NamesCameBack(w, expected);
    }

    // --- damaged history files ---------------------------------------------------------------

    void damagedHistory_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries"); // what the window offers
        QTest::addColumn<bool>("setAside");       // the file was kept as "<name>.damaged"
        QTest::newRow("sound") << QByteArray("PelloraHistory 1\nAnn\nBea\n") << QStringList{"Ann", "Bea"} << false;
        QTest::newRow("empty file") << QByteArray() << QStringList{} << true;
        QTest::newRow("cut in the last entry") << QByteArray("PelloraHistory 1\nAnn\nBe") << QStringList{"Ann"} << true;
        QTest::newRow("other header") << QByteArray("History 2\nAnn\n") << QStringList{} << true;
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe\x01\n\x80\x81", 7) << QStringList{} << true;
        QTest::newRow("bad UTF-8 line") << QByteArray("PelloraHistory 1\nAnn\n\xc3\x28\nBea\n")
                                        << QStringList{"Ann", "Bea"} << true;
        QTest::newRow("unknown escape") << QByteArray("PelloraHistory 1\nA\\qB\nBea\n") << QStringList{"Bea"} << true;
        QTest::newRow("CR LF line ends") << QByteArray("PelloraHistory 1\r\nAnn\r\n") << QStringList{} << true;
        QTest::newRow("30 entries with repeats") <<
            [] {
                QByteArray b("PelloraHistory 1\n");
                for (int i = 0; i < 30; ++i)
                    b += "e" + QByteArray::number(i % 27) + "\n";
                return b;
            }() <<
            [] {
                QStringList l;
                for (int i = 0; i < 25; ++i)
                    l << QStringLiteral("e%1").arg(i);
                return l;
            }() << false;
        QTest::newRow("larger than 16 MiB")
            << QByteArray("PelloraHistory 1\nAnn\n") + QByteArray(17 * 1024 * 1024, 'x') + "\n"
            << QStringList{"Ann"} << true;
    }

    void damagedHistory() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        QFETCH(bool, setAside);
        Window w;
        w.form.reset();
        const QString path = HistoryPath(w, QStringLiteral("To History.DAT"));
        QVERIFY(WriteFile(path, bytes));
        w.open();
        QCOMPARE(w.form->ToHistory->Entries(), entries);
        QCOMPARE(QFileInfo::exists(path + QStringLiteral(".damaged")), setAside);
        if (setAside)
            QCOMPARE(test::ReadFile(path + QStringLiteral(".damaged")), bytes); // kept as it was
        QVERIFY(w.fakes.boxes->shown.isEmpty());

        // The close writes a sound file with what could be read.
        w.close();
        QVERIFY(w.fakes.terminated->statuses.isEmpty());
        bool damaged = true;
        QCOMPARE(platform::HistoryList::Parse(test::ReadFile(path), &damaged), entries);
        QVERIFY(!damaged);
    }

    // A folder where a history file should be is set aside at the start, and the close writes
    // the file fresh, without a box.
    void historyFileIsAFolder() {
        Window w;
        w.form.reset();
        const QString path = HistoryPath(w, QStringLiteral("From History.DAT"));
        QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        w.open();
        QVERIFY(w.form->FromHistory->Entries().isEmpty());
        w.form->txtFrom->setText(QStringLiteral("Ann"));
        w.close();
        QVERIFY(w.fakes.terminated->statuses.isEmpty());
        QVERIFY(w.fakes.boxes->shown.isEmpty());
        QCOMPARE(test::ReadFile(path), QByteArray("PelloraHistory 1\n"));
        QVERIFY(QFileInfo(path + QStringLiteral(".damaged/inside")).isDir());
        QCOMPARE(test::StoredValue(QStringLiteral("From")), QVariant(QStringLiteral("Ann")));
    }

    // --- settings that do not convert --------------------------------------------------------

    void badSettings_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("machine");
        QTest::addColumn<int>("hotkeyOption");
        QTest::addColumn<bool>("prefix");
        QTest::newRow("sound") << QByteArray("[General]\nFrom=Ann\nMachine=PC7\nSend Hotkey Option=2\n"
                                             "Temp File Prefix=true\n")
                               << "Ann"
                               << "PC7" << 2 << true;
        QTest::newRow("option not a number")
            << QByteArray("[General]\nSend Hotkey Option=abc\nTemp File Prefix=maybe\n") << ""
            << "" << 0 << false;
        QTest::newRow("option out of range")
            << QByteArray("[General]\nSend Hotkey Option=99\nTemp File Prefix=2\n") << ""
            << "" << 0 << false;
        QTest::newRow("option beyond 32 bits") << QByteArray("[General]\nSend Hotkey Option=99999999999\n") << ""
                                               << "" << 0 << false;
        QTest::newRow("option negative") << QByteArray("[General]\nSend Hotkey Option=-1\n") << ""
                                         << "" << 0 << false;
        QTest::newRow("option as a fraction") << QByteArray("[General]\nSend Hotkey Option=1.5\n") << ""
                                              << "" << 0 << false;
        QTest::newRow("values of other types")
            << QByteArray("[General]\nFrom=@Rect(1 2 3 4)\nMachine=@Invalid()\nSend Hotkey Option=@Size(1 2)\n"
                          "Temp File Prefix=@Point(1 2)\n")
            << ""
            << "" << 0 << false;
        QTest::newRow("byte array and list")
            << QByteArray("[General]\nFrom=@ByteArray(Ann)\nMachine=PC7, PC8\nSend Hotkey Option=\" 3 \"\n") << "Ann"
            << "PC7, PC8" << 3 << false;
        QTest::newRow("broken variant")
            << QByteArray("[General]\nFrom=@Variant(\\0\\0\\0\\x7f\\0\\0)\nMachine=@Variant(\nTemp File Prefix=1\n")
            // A value that does not even parse as a stored variant reads as the text it is.
            << ""
            << "@Variant(" << 0 << true;
        QTest::newRow("binary garbage") << QByteArray("\x00\x01[\xff\n=\n\x80=\x81\n", 11) << ""
                                        << "" << 0 << false;
        QTest::newRow("no section, no equals")
            << QByteArray("From\nMachine=PC7\n[General\nSend Hotkey Option=1\n") << ""
            << "PC7" << 1 << false;
    }

    void badSettings() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, from);
        QFETCH(QString, machine);
        QFETCH(int, hotkeyOption);
        QFETCH(bool, prefix);
        Window w;
        w.close();
        w.form.reset();
        test::EditSettings(ini);
        w.open();
        QVERIFY(w.fakes.boxes->shown.isEmpty());
        QVERIFY(w.fakes.terminated->statuses.isEmpty());
        QCOMPARE(w.form->txtFrom->text(), from);
        QCOMPARE(w.form->txtComputer->text(), machine);
        QCOMPARE(w.form->GetSendHotkeyOption(), hotkeyOption);
        QCOMPARE(w.values.UseTempFilePrefix, prefix);

        // The close stores sound values in their place; the next start reads the same.
        w.form->txtTo->setText(QStringLiteral("Bob"));
        w.close();
        QVERIFY(w.fakes.terminated->statuses.isEmpty());
        w.open();
        QCOMPARE(w.form->txtFrom->text(), from);
        QCOMPARE(w.form->txtTo->text(), QStringLiteral("Bob"));
        QCOMPARE(w.form->txtComputer->text(), machine);
        QCOMPARE(w.form->GetSendHotkeyOption(), hotkeyOption);
        QCOMPARE(w.values.UseTempFilePrefix, prefix);
        QVERIFY(w.fakes.boxes->shown.isEmpty());
    }

    // --- the data folder turns into a file ---------------------------------------------------

    void dataFolderReplacedByAFile_data() {
        QTest::addColumn<bool>("retryAfterRepair");
        QTest::newRow("cancel") << false;
        QTest::newRow("retry once the folder is back") << true;
    }

    void dataFolderReplacedByAFile() {
        QFETCH(bool, retryAfterRepair);
        Window w;
        w.fill(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        QVERIFY(QDir(w.values.DataPath).removeRecursively());
        QVERIFY(WriteFile(w.values.DataPath, "in the way"));

        // The answer to the prompt: Cancel, or put the folder back and Retry.
        class Prompt : public platform::MessageBoxes {
        public:
            platform::MsgBoxResult Show(const QString& text, platform::MsgBoxStyle style, const QString& title,
                                        const QString& detail) override {
                shown.append({text, int(style), title, detail});
                if (int(style) != 21) // Retry and Cancel, the error icon
                    return platform::MsgBoxResult::OK;
                if (!retry || shown.size() > 1)
                    return platform::MsgBoxResult::Cancel;
                QFile::remove(dataPath);
                QDir().mkpath(dataPath);
                return platform::MsgBoxResult::Retry;
            }
            QList<test::ShownMessage> shown;
            bool retry = false;
            QString dataPath;
        };
        auto prompt = std::make_shared<Prompt>();
        prompt->retry = retryAfterRepair;
        prompt->dataPath = w.values.DataPath;
        platform::services().messageBoxes = prompt;

        w.form->cmdSend->click();
        QCOMPARE(w.fakes.mailslots->delivered.size(), 1);
        QVERIFY(!prompt->shown.isEmpty());
        QCOMPARE(prompt->shown[0].style, 21);
        QVERIFY2(prompt->shown[0].text.endsWith(
                     QStringLiteral("\r\n\r\nCan't write file. Local copy of this message was not saved.")),
                 qPrintable(prompt->shown[0].text));
        QVERIFY(w.closesSoon());
        if (retryAfterRepair) {
            QCOMPARE(prompt->shown.size(), 1);
            QCOMPARE(w.dataFiles(), QStringList{QStringLiteral("Message 2016-02-24 10-01-05.TXT")});
            QVERIFY(w.fakes.terminated->statuses.isEmpty());
            return;
        }
        // Cancel closes the window; the histories live in the same folder, so the close ends
        // with the error report, the settings stored before it.
        QCOMPARE(prompt->shown.size(), 2);
        QVERIFY2(prompt->shown[1].text.startsWith(QStringLiteral("Run-time error")), qPrintable(prompt->shown[1].text));
        QCOMPARE(w.fakes.terminated->statuses, QList<int>{1});
        QCOMPARE(test::ReadFile(w.values.DataPath), QByteArray("in the way"));
        QCOMPARE(test::StoredValue(QStringLiteral("Machine")), QVariant(QStringLiteral("PC7")));
    }
};

PELLORA_TEST_MAIN(BadInputTest)
#include "BadInputTest.moc"
