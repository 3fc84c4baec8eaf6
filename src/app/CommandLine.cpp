#include "app/CommandLine.h"

#include "app/modMain.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/Services.h"
#include "platform/support/Console.h"
#include "sending/SendOperation.h"
#include "state/FieldHistories.h"
#include "state/Settings.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <exception>

namespace pellora::commandLine {

namespace {

const QString kTryHelp = QStringLiteral(" (pellora --help shows the usage)");

// Where no window can show a message box (the data folder's at start-up), its text goes to the
// standard error as one line; a box with Retry is answered Cancel.
class StandardErrorBoxes : public platform::MessageBoxes {
public:
    platform::MsgBoxResult Show(const QString& text, platform::MsgBoxStyle style, const QString&,
                                const QString& detail) override {
        platform::WriteStandardError(OneLine(detail.isEmpty() ? text : text + QStringLiteral("\r\n") + detail) + u'\n');
        return platform::ButtonsOf(style) == platform::MsgBoxStyle::OKOnly ? platform::MsgBoxResult::OK
                                                                           : platform::MsgBoxResult::Cancel;
    }
};

bool IsNameText(const QString& name) {
    return name.size() <= state::MaxNameLength && !name.contains(u'\r') && !name.contains(u'\n');
}

int SendFromCommandLine(const Request& request) {
    QString message;
    if (request.message) {
        message = *request.message;
    } else {
        const std::optional<QString> read = DecodeMessage(platform::ReadStandardInput());
        if (!read) {
            platform::WriteStandardError(QStringLiteral("pellora: the standard input is not UTF-8 text\n"));
            return Status::Usage;
        }
        message = *read;
    }
    const sending::MessageTexts texts{request.from.value_or(QString()), request.to.value_or(QString()),
                                      request.computer.value_or(QString()), WithWindowLineBreaks(message)};

    AppValues values;
    values.DataPath = modMain::PrepareDataFolder();
    if (values.DataPath.isEmpty())
        return Status::NotDelivered; // told on the standard error by the data folder's box
    // Of the stored settings only the "~$" prefix counts here; the window's fields stay as stored.
    state::LoadSettings(values, [](state::Setting, const QVariant&) {});
    state::HistoryPtr from, to, computer;
    const state::FieldHistories histories{from, to, computer};
    state::LoadHistories(histories);
    const sending::SendOutcome outcome = sending::Send(texts, {histories, values, nullptr});
    // A refused input recorded no name: nothing of the histories changed.
    if (outcome.result != sending::SendResult::InputRefused)
        state::SaveHistories(histories);

    switch (outcome.result) {
    case sending::SendResult::Delivered: return Status::Delivered;
    case sending::SendResult::InputRefused:
        platform::WriteStandardError(OneLine(outcome.text) + u'\n');
        return Status::InputRefused;
    case sending::SendResult::NotDelivered:
        platform::WriteStandardError(OneLine(outcome.text) + u'\n');
        return Status::NotDelivered;
    case sending::SendResult::CopyNotSaved:
        platform::WriteStandardError(OneLine(outcome.text + QStringLiteral("\r\n") + outcome.reason) + u'\n');
        return Status::CopyNotSaved;
    }
    return Status::Unexpected;
}

} // namespace

Request Parse(const QStringList& arguments) {
    Request request;
    bool send = false, help = false, version = false;
    QStringList words;
    auto fail = [&](const QString& text) {
        if (request.error.isEmpty())
            request.error = QStringLiteral("pellora: ") + text + kTryHelp;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == u"--") {
            words << arguments.mid(i + 1);
            break;
        }
        std::optional<QString>* name = nullptr;
        if (argument == u"--send")
            send = true;
        else if (argument == u"--help" || argument == u"-h")
            help = true;
        else if (argument == u"--version")
            version = true;
        else if (argument == u"--from")
            name = &request.from;
        else if (argument == u"--to")
            name = &request.to;
        else if (argument == u"--computer")
            name = &request.computer;
        else if (argument.startsWith(u'-') && argument.size() > 1)
            fail(QStringLiteral("unknown option %1").arg(argument));
        else
            words << argument;
        if (name == nullptr)
            continue;
        if (i + 1 == arguments.size()) {
            fail(QStringLiteral("%1 needs a name").arg(argument));
            break;
        }
        *name = arguments[++i];
        if (!IsNameText(**name))
            fail(QStringLiteral("the name of %1 is longer than %2 characters or has a line break")
                     .arg(argument)
                     .arg(state::MaxNameLength));
    }
    if (!words.isEmpty())
        request.message = words.join(u' ');
    request.mode = help ? Mode::Help : version ? Mode::Version : send ? Mode::Send : Mode::Window;
    return request;
}

QString WithWindowLineBreaks(const QString& text) {
    QString result;
    result.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            result += QStringLiteral("\r\n");
        } else {
            result += c;
        }
    }
    return result;
}

std::optional<QString> DecodeMessage(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

QString OneLine(const QString& boxText) {
    const QStringList lines = boxText.split(QStringLiteral("\r\n"));
    QStringList rest;
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            rest << lines[i];
    return rest.isEmpty() ? lines.first() : lines.first() + QStringLiteral(": ") + rest.join(u' ');
}

QString HelpText() {
    return QStringLiteral("Usage: pellora --send --from NAME --to NAME --computer NAME [--] [TEXT...]\n"
                          "       pellora [--from NAME] [--to NAME] [--computer NAME] [--] [TEXT...]\n"
                          "       pellora --help | --version\n"
                          "\n"
                          "Sends one text message to the Messenger service of a Windows computer on the local\n"
                          "network.\n"
                          "\n"
                          "  --send           send at once, without a window, as the window's Send button does:\n"
                          "                   the names go into the histories and a local copy is kept\n"
                          "  --from NAME      the sender\n"
                          "  --to NAME        the recipient\n"
                          "  --computer NAME  the computer to send to: a NetBIOS name, a host name, an address\n"
                          "  --               every word after it is TEXT, also one that starts with -\n"
                          "  --help           show this help\n"
                          "  --version        show the version\n"
                          "\n"
                          "The TEXT words are joined with single blanks into the message. With --send and no TEXT,\n"
                          "the message is read from the standard input (UTF-8, up to its end); line breaks are sent\n"
                          "as CR LF, as from the window. Without --send, the window opens with these names and this\n"
                          "message in its fields instead of the stored ones.\n"
                          "\n"
                          "Exit status of --send: 0 delivered, 1 a field is empty, 2 not delivered (also when the\n"
                          "data folder cannot be used), 3 delivered but the local copy could not be written, 64\n"
                          "wrong arguments or input that is not UTF-8, 70 an error the program did not expect.\n"
                          "Each failure is one line on the standard error.\n");
}

QString VersionText() { return App().Title + u' ' + App().VersionText(); }

int Run(const Request& request, int& argc, char** argv) {
    platform::UseParentConsole();
    if (!request.error.isEmpty()) {
        platform::WriteStandardError(request.error + u'\n');
        return Status::Usage;
    }
    if (request.mode == Mode::Help) {
        platform::WriteStandardOutput(HelpText());
        return 0;
    }
    if (request.mode == Mode::Version) {
        platform::WriteStandardOutput(VersionText() + u'\n');
        return 0;
    }
    QCoreApplication app(argc, argv);
    platform::services().messageBoxes = std::make_shared<StandardErrorBoxes>();
    // The one place a send from the command line ends: nothing thrown goes further.
    try {
        return SendFromCommandLine(request);
    } catch (const Error& e) {
        platform::WriteStandardError(QStringLiteral("Run-time error '%1': %2\n").arg(e.number()).arg(e.description()));
    } catch (const std::exception& e) {
        platform::WriteStandardError(QStringLiteral("Run-time error '%1': %2\n")
                                         .arg(ErrorNumber::Internal)
                                         .arg(QString::fromLocal8Bit(e.what())));
    }
    return Status::Unexpected;
}

} // namespace pellora::commandLine
