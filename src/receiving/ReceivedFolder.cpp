#include "receiving/ReceivedFolder.h"

#include "archive/LocalCopy.h"
#include "platform/components/Components.h"
#include "platform/runtime/Error.h"
#include "platform/support/PrivateFiles.h"
#include "platform/support/Support.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>

namespace pellora::receiving {

namespace {

// A message file holds at most 424 bytes from the datagram, each at most three bytes in UTF-8,
// its header lines and the computer's name; anything much larger is not one of ours.
constexpr qint64 kMaxMessageFile = 16 * 1024;

const QRegularExpression& FileNamePattern() {
    static const QRegularExpression pattern(
        QStringLiteral("^Message (\\d{4}-\\d{2}-\\d{2} \\d{2}-\\d{2}-\\d{2})(?: \\((\\d{1,5})\\))?\\.TXT$"));
    return pattern;
}

} // namespace

QString ReceivedFolderPath(const QString& dataPath) { return ksBuildFileName(dataPath, QStringLiteral("Received")); }

void PrepareReceivedFolder(const QString& folder) {
    // The Received folder alone is the receiver's own (the data folder above it is checked first,
    // as start-up checks it); the way to it is checked as start-up checks the data folder's, and
    // the folder is held from then on.
    const platform::FolderCheck check = platform::CheckProgramFolder(folder, 1, archive::LocalCopyFilePatterns(), true);
    if (check.outcome == platform::FolderCheck::Refused)
        throw ErrorFromErrno(EACCES, QStringLiteral("Can't use a folder another user can change:"), check.folder);
    if (check.outcome != platform::FolderCheck::Sound)
        throw ErrorFromErrno(ENOTDIR, QStringLiteral("Can't create"), check.folder);
}

QString SaveReceivedMessage(const QString& folder, const ReceivedMessage& message, int number) {
    using namespace platform;
    QString name = archive::LocalCopyFileName(message.received, false);
    if (number > 1)
        name.insert(name.size() - 4, QStringLiteral(" (%1)").arg(number));
    const QString path = ksBuildFileName(folder, name);
    const QString text =
        archive::LocalCopyText(message.from, message.to, message.computer, message.received, message.text);
    return textFileWriter().WriteText(path, text, Existing::Keep, Encoding::Utf8, LineEnds::AsIs,
                                      Durability::NotFlushed);
}

std::pair<QString, int> MessageFileStamp(const QString& name) {
    const QRegularExpressionMatch match = FileNamePattern().match(name);
    if (!match.hasMatch())
        return {QString(), 0};
    return {match.captured(1), match.captured(2).isEmpty() ? 1 : match.captured(2).toInt()};
}

bool IsMessageFileName(const QString& name) { return FileNamePattern().match(name).hasMatch(); }

bool RemoveReceivedFile(const QString& folder, const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !IsMessageFileName(info.fileName()) ||
        QDir::cleanPath(info.absolutePath()) != QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))
        return false;
    return QFile::remove(path);
}

std::optional<ReceivedMessage> ParseMessageFile(const QString& fileName, const QString& content) {
    const QRegularExpressionMatch name = FileNamePattern().match(fileName);
    if (!name.hasMatch())
        return std::nullopt;
    ReceivedMessage message;
    message.received = QLocale::c().toDateTime(name.captured(1), QStringLiteral("yyyy-MM-dd HH-mm-ss"));
    if (!message.received.isValid())
        return std::nullopt;
    const QString crlf = QStringLiteral("\r\n");
    qsizetype at = 0;
    bool dated = false;
    for (;;) {
        const qsizetype end = content.indexOf(crlf, at);
        if (end < 0)
            return std::nullopt;
        const QString line = content.mid(at, end - at);
        at = end + 2;
        if (line.isEmpty())
            break;
        if (line.startsWith(QStringLiteral("From:     ")))
            message.from = line.mid(10);
        else if (line.startsWith(QStringLiteral("To:       ")))
            message.to = line.mid(10);
        else if (line.startsWith(QStringLiteral("Computer: ")))
            message.computer = line.mid(10);
        else if (line.startsWith(QStringLiteral("Date:     ")))
            dated = true;
        else
            return std::nullopt;
    }
    if (!dated)
        return std::nullopt;
    message.text = content.mid(at);
    return message;
}

std::vector<ReceivedMessage> LoadReceivedMessages(const QString& folder) {
    struct Found {
        QString stamp;
        int number;
        QString name;
    };
    std::vector<Found> found;
    const QStringList names = QDir(folder).entryList({QStringLiteral("Message *.TXT")}, QDir::Files | QDir::System);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = FileNamePattern().match(name);
        if (match.hasMatch())
            found.push_back({match.captured(1), match.captured(2).isEmpty() ? 1 : match.captured(2).toInt(), name});
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.number < b.number;
    });
    std::vector<ReceivedMessage> messages;
    for (const Found& file : found) {
        const QString path = ksBuildFileName(folder, file.name);
        QByteArray bytes;
        if (platform::ReadOwnFile(path, kMaxMessageFile, &bytes) != platform::OwnFile::Regular)
            continue;
        auto message = ParseMessageFile(file.name, QString::fromUtf8(bytes));
        if (!message)
            continue;
        message->file = path;
        messages.push_back(std::move(*message));
    }
    return messages;
}

} // namespace pellora::receiving
