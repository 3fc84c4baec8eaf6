#include "platform/components/HistoryList.h"

#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Services.h"
#include "platform/support/PrivateFiles.h"
#include "platform/support/Support.h"

#include <QByteArrayView>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace pellora::platform {

namespace {

constexpr QByteArrayView kHeader("PelloraHistory 1");
constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF");

// A history file larger than this is not ours to read whole: far more than 25 entries of a
// name field's longest text, and files of earlier versions, whose entries had no limit.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

// A line longer than this holds an entry longer than MaxEntryLength whatever its characters: a
// UTF-16 code unit takes at most three bytes of UTF-8 or two of an escape.
constexpr qsizetype kMaxLineBytes = 3 * HistoryList::MaxEntryLength;

bool Contains(const QStringList& entries, const QString& entry, Qt::CaseSensitivity letterCase) {
    return std::any_of(entries.cbegin(), entries.cend(),
                       [&](const QString& each) { return each.compare(entry, letterCase) == 0; });
}

QString Escape(const QString& entry) {
    QString out;
    out.reserve(entry.size() + 8);
    for (const QChar c : entry) {
        switch (c.unicode()) {
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\0': out += QLatin1String("\\0"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        default: out += c; break;
        }
    }
    return out;
}

// Undoes Escape; false for an escape that Escape never writes or a raw line break.
bool Unescape(const QString& line, QString& entry) {
    entry.clear();
    entry.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'\r' || c == u'\n')
            return false;
        if (c != u'\\') {
            entry += c;
            continue;
        }
        if (++i == line.size())
            return false;
        switch (line.at(i).unicode()) {
        case u'\\': entry += u'\\'; break;
        case u'n': entry += u'\n'; break;
        case u'r': entry += u'\r'; break;
        case u'0': entry += QChar(u'\0'); break;
        case u't': entry += u'\t'; break;
        default: return false;
        }
    }
    return true;
}

// Strict UTF-8: a line with a byte sequence that is not UTF-8 is not read at all.
bool DecodeUtf8(QByteArrayView bytes, QString& text) {
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    text = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

QStringList HistoryList::Parse(const QByteArray& bytes, bool* damaged, Qt::CaseSensitivity letterCase) {
    bool bad = false;
    QStringList entries;

    QByteArrayView rest(bytes);
    if (rest.startsWith(kUtf8Bom))
        rest = rest.sliced(kUtf8Bom.size());

    bool header = true;
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf('\n');
        if (end < 0) {
            // The last line has no line end: the file was cut short, and so maybe the entry.
            bad = true;
            break;
        }
        const QByteArrayView line = rest.first(end);
        rest = rest.sliced(end + 1);
        if (header) {
            header = false;
            if (line != kHeader) {
                bad = true;
                break;
            }
            continue;
        }
        if (line.size() > kMaxLineBytes)
            continue; // an entry longer than a name field takes, from an earlier version: skipped
        QString text;
        QString entry;
        if (!DecodeUtf8(line, text) || !Unescape(text, entry)) {
            bad = true;
            continue;
        }
        if (entry.size() <= MaxEntryLength && entries.size() < MaxEntries && !Contains(entries, entry, letterCase))
            entries.append(entry);
    }
    if (header)
        bad = true; // not even a header: an empty or cut-off file
    if (damaged)
        *damaged = bad;
    return entries;
}

QByteArray HistoryList::Serialize(const QStringList& entries) {
    QString text = QString::fromLatin1(kHeader.data(), kHeader.size()) + u'\n';
    for (const QString& entry : entries)
        text += Escape(entry) + u'\n';
    return text.toUtf8();
}

void HistoryList::Open(const QString& fileName, const QString& /*reserved1*/, const AppObject& app,
                       const QString& /*reserved2*/, int /*flags*/) {
    if (fileName.isEmpty() || fileName.contains(u'/') || fileName.contains(u'\\') || fileName == u"." ||
        fileName == u"..")
        throw Error(ErrorNumber::BadFileName, QStringLiteral("Bad history file name \"%1\".").arg(fileName));
    const QString folder = ksGetSpecialFolder(SpecialFolder::AppData);
    path_ = QDir::cleanPath(folder + u'/' + app.DataFolderName() + u'/' + fileName);
    entries_.clear();
}

void HistoryList::Load() {
    entries_.clear();
    damagedInPlace_ = false;
    QByteArray bytes;
    bool damaged = true;
    switch (ReadOwnFile(path_, kMaxFileSize, &bytes)) {
    case OwnFile::Missing: return;
    case OwnFile::Folder:
    case OwnFile::Foreign:
    case OwnFile::Unreadable:
        // There, but not a file of ours to read (a folder, a link, a FIFO, a device, another
        // user's file): kept, never opened; the list starts afresh.
        break;
    case OwnFile::TooLarge: entries_ = Parse(bytes, nullptr, letterCase_); break;
    case OwnFile::Regular: entries_ = Parse(bytes, &damaged, letterCase_); break;
    }
    // A damaged file, or what stands in its place, is moved out of the way, so that Save does
    // not overwrite what a person might still want to look at.
    if (damaged && !SetAside(path_)) {
        damagedInPlace_ = true;
        qWarning("Pellora: could not set the damaged history file %s aside", qUtf8Printable(path_));
    }
}

void HistoryList::Save() {
    if (path_.isEmpty())
        throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("The history list is not open."));
    const QByteArray bytes = Serialize(entries_);
    // A file that already holds these bytes is left as it is: most sends add names that are
    // already at the top of their lists.
    QByteArray onDisk;
    const OwnFile found = ReadOwnFile(path_, bytes.size(), &onDisk);
    if (found == OwnFile::Regular && onDisk == bytes && !damagedInPlace_)
        return;
    // What has come into the file's place since (a folder, a link, another user's file), or
    // the damaged file Load could not move, is set aside first; when it cannot be, it is kept,
    // and nothing is written.
    if (damagedInPlace_ || found == OwnFile::Folder || found == OwnFile::Foreign) {
        if (!SetAside(path_))
            throw Error(ErrorNumber::PathFileAccess, QStringLiteral("Can't set %1 aside.").arg(path_));
        damagedInPlace_ = false;
    }
    const QString folder = QFileInfo(path_).absolutePath();
    if (!MakePrivatePath(folder))
        throw Error(ErrorNumber::PathNotFound, QStringLiteral("Can't create the folder %1.").arg(folder));
    WriteWholeFile(path_, bytes);
}

void HistoryList::Add(const QString& text) {
    // Longer than any name field takes: never from the window, and kept out rather than cut
    // into a name that was never typed.
    if (text.size() > MaxEntryLength)
        return;
    entries_.removeIf([&](const QString& each) { return each.compare(text, letterCase_) == 0; });
    entries_.prepend(text);
    while (entries_.size() > MaxEntries)
        entries_.removeLast();
}

} // namespace pellora::platform
