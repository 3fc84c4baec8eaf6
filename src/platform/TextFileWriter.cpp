// Writes whole text files: encoded, through a temporary file in the target folder, flushed and
// then moved into place, so that a reader only ever sees no file or the whole file.

#include "platform/Components.h"
#include "platform/SystemServices.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace pellora::platform {

namespace {

// How many "name (n).ext" variants are tried before giving up.
constexpr int kMaxVariants = 10000;

QByteArray Encode(const QString& text, int encoding) {
    switch (encoding) {
    case 2: return text.toUtf8();
    case 1: return text.toLatin1();
    case 0: return text.toLocal8Bit();
    default: break;
    }
    throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown text encoding %1.").arg(encoding));
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

// "dir/X.TXT" -> "dir/X (n).TXT"; a name without extension (or a name that only starts with a
// dot) gets the number at its end.
QString Variant(const QString& path, int n) {
    if (n <= 1)
        return path;
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    const QString number = QStringLiteral(" (%1)").arg(n);
    if (dot <= slash + 1)
        return path + number;
    return path.left(dot) + number + path.mid(dot);
}

QString Folder(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

// A file descriptor that is closed, and a temporary file that is removed, unless released.
class TempFile {
public:
    ~TempFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.isEmpty())
            ::unlink(path_.constData());
    }

    // Creates a new, empty file with a random name in `folder`. Returns errno on failure.
    int Create(const QString& folder) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString name =
                QStringLiteral("/.pellora-%1.tmp")
                    .arg(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFull, 12, 16, QLatin1Char('0'));
            const QByteArray path = QFile::encodeName(folder + name);
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                fd_ = fd;
                path_ = path;
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    int WriteAll(const QByteArray& bytes) {
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, data, static_cast<size_t>(left));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            data += n;
            left -= n;
        }
        return 0;
    }

    int Sync() { return ::fsync(fd_) == 0 ? 0 : errno; }

    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    }

    const QByteArray& path() const { return path_; }
    // The file now lives under another name (or was removed); nothing to clean up.
    void Release() { path_.clear(); }

private:
    int fd_ = -1;
    QByteArray path_;
};

// Moves `from` to `to` only when `to` does not exist. Returns 0, EEXIST or another errno.
int MoveNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // The file system cannot rename without replacing; a hard link is just as exclusive.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return errno;
    // Neither works here (some removable-media file systems): the best that remains.
    if (::access(to.constData(), F_OK) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

void SyncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // not every file system can; the file itself is on disk already
    ::close(fd);
}

class SystemTextFileWriter final : public TextFileWriter {
public:
    QString WriteText(const QString& path, const QString& text, int keepExisting, int encoding, int lineEnds,
                      int durability) override {
        if (keepExisting != -1 && keepExisting != 0)
            throw Error(ErrorNumber::InvalidProcedureCall,
                        QStringLiteral("Unknown keepExisting %1.").arg(keepExisting));
        if (lineEnds != 1 && lineEnds != 2)
            throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown lineEnds %1.").arg(lineEnds));
        if (durability != 0 && durability != 1)
            throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown durability %1.").arg(durability));
        if (path.isEmpty() || path.endsWith(u'/'))
            throw ErrorFromErrno(ENOENT, QStringLiteral("Can't write"), path);

        const QByteArray bytes = Encode(lineEnds == 1 ? WithCrLf(text) : text, encoding);
        const QString folder = Folder(path);

        TempFile temp;
        if (const int err = temp.Create(folder))
            throw ErrorFromErrno(err, QStringLiteral("Can't create a file in"), folder);
        int err = temp.WriteAll(bytes);
        if (err == 0 && durability == 1)
            err = temp.Sync();
        if (const int closeErr = temp.Close(); err == 0)
            err = closeErr;
        if (err != 0)
            throw ErrorFromErrno(err, QStringLiteral("Can't write"), path);

        QString written;
        if (keepExisting == 0) {
            if (::rename(temp.path().constData(), QFile::encodeName(path).constData()) != 0)
                throw ErrorFromErrno(errno, QStringLiteral("Can't write"), path);
            written = path;
        } else {
            for (int n = 1; written.isEmpty(); ++n) {
                if (n > kMaxVariants)
                    throw ErrorFromErrno(EEXIST, QStringLiteral("Can't write"), path);
                const QString candidate = Variant(path, n);
                err = MoveNoReplace(temp.path(), QFile::encodeName(candidate));
                if (err == 0)
                    written = candidate;
                else if (err != EEXIST)
                    throw ErrorFromErrno(err, QStringLiteral("Can't write"), candidate);
            }
        }
        temp.Release();
        if (durability == 1)
            SyncFolder(folder);
        return written;
    }
};

} // namespace

std::shared_ptr<TextFileWriter> CreateSystemTextFileWriter() { return std::make_shared<SystemTextFileWriter>(); }

} // namespace pellora::platform
