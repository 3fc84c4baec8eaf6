// Writes whole text files: encoded, then written as the program writes every file
// (WriteWholeFile), so that a reader only ever sees no file or the whole file.

#include "platform/components/Components.h"
#include "platform/runtime/Services.h"
#include "platform/support/PrivateFiles.h"

#include <QDir>

#include <cerrno>

namespace pellora::platform {

namespace {

// How many "name (n).ext" variants are tried before giving up.
constexpr int kMaxVariants = 10000;

QByteArray Encode(const QString& text, Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf8: return text.toUtf8();
    case Encoding::Latin1: return text.toLatin1();
    case Encoding::Locale: return text.toLocal8Bit();
    }
    throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown text encoding %1.").arg(int(encoding)));
}

// Turns every LF that has no CR before it into CR LF.
QString WithCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\n' && (i == 0 || text.at(i - 1) != u'\r'))
            out.append(u'\r');
        out.append(text.at(i));
    }
    return out;
}

// Where the folder part of `path` ends: its last '/', or its last '\\' where that separates too.
qsizetype LastSeparator(const QString& path) { return QDir::fromNativeSeparators(path).lastIndexOf(u'/'); }

// "dir/X.TXT" -> "dir/X (n).TXT"; a name without extension (or a name that only starts with a
// dot) gets the number at its end.
QString Variant(const QString& path, int n) {
    if (n <= 1)
        return path;
    const qsizetype slash = LastSeparator(path);
    const qsizetype dot = path.lastIndexOf(u'.');
    const QString number = QStringLiteral(" (%1)").arg(n);
    if (dot <= slash + 1)
        return path + number;
    return path.left(dot) + number + path.mid(dot);
}

class SystemTextFileWriter final : public TextFileWriter {
public:
    QString WriteText(const QString& path, const QString& text, Existing existing, Encoding encoding, LineEnds lineEnds,
                      Durability durability) override {
        if (existing != Existing::Keep && existing != Existing::Replace)
            throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown existing %1.").arg(int(existing)));
        if (lineEnds != LineEnds::CrLf && lineEnds != LineEnds::AsIs)
            throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown lineEnds %1.").arg(int(lineEnds)));
        if (durability != Durability::NotFlushed && durability != Durability::Durable)
            throw Error(ErrorNumber::InvalidProcedureCall,
                        QStringLiteral("Unknown durability %1.").arg(int(durability)));
        if (path.isEmpty() || LastSeparator(path) == path.size() - 1)
            throw ErrorFromErrno(ENOENT, QStringLiteral("Can't write"), path);

        const QByteArray bytes = Encode(lineEnds == LineEnds::CrLf ? WithCrLf(text) : text, encoding);
        if (existing == Existing::Replace)
            return WriteWholeFile(path, bytes, durability == Durability::Durable);
        return WriteWholeFile(path, bytes, durability == Durability::Durable,
                              [&path](int n) { return n <= kMaxVariants ? Variant(path, n) : QString(); });
    }
};

} // namespace

std::shared_ptr<TextFileWriter> CreateSystemTextFileWriter() { return std::make_shared<SystemTextFileWriter>(); }
TextFileWriter& textFileWriter() { return EnsureService(services().textFileWriter, CreateSystemTextFileWriter); }

} // namespace pellora::platform
