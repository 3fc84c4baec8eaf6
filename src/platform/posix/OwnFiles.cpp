// The program's own folders and files on a Unix system: the folders checked along their whole way
// and held open, the files read, written whole and moved aside relative to the folder held.

#include "platform/posix/UnixPort.h"
#include "platform/runtime/Error.h"
#include "platform/support/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace pellora::platform {

namespace {

constexpr mode_t kGroupAndOthers = S_IRWXG | S_IRWXO;
constexpr int kMaxLinks = 40; // as many as the system follows in one path
constexpr int kMaxSetAside = 100;

std::atomic<int> fileSyncs{0};
std::atomic<int> folderSyncs{0};

bool IsOwn(const struct stat& info) { return info.st_uid == ::geteuid(); }
bool IsOwnOrRoot(const struct stat& info) { return IsOwn(info) || info.st_uid == 0; }
// Writable by someone else than the owner, and not sticky (where nobody removes or renames what
// is not theirs).
bool OpenToOthers(const struct stat& info) {
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0;
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

int OpenFolderAt(int at, const char* name) {
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The folders CheckProgramFolder holds, by their path as the program names them: the
// descriptor, and how many of the folders are the program's.
struct HeldFolder {
    int fd = -1;
    int ownLevels = 0;
};
std::mutex heldMutex;
std::map<QString, HeldFolder>& Held() {
    static std::map<QString, HeldFolder> held;
    return held;
}

// The descriptor of the folder held for `folder`: -1 when none is held, -2 when the one held has
// been removed since (the user removed the data folder, maybe made it again).
int HeldDescriptor(const QString& folder, int* ownLevels) {
    const std::lock_guard lock(heldMutex);
    const auto it = Held().find(folder);
    if (it == Held().end())
        return -1;
    struct stat info {};
    *ownLevels = it->second.ownLevels;
    return ::fstat(it->second.fd, &info) == 0 && info.st_nlink > 0 ? it->second.fd : -2;
}

// The folder a file is in, open: the one held when the program checked it, else opened now by
// its path (once, for the whole operation).
class FolderOf {
public:
    explicit FolderOf(const QString& path) {
        const QString clean = QDir::cleanPath(path);
        const qsizetype slash = clean.lastIndexOf(u'/');
        folder_ = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : clean.left(slash);
        name_ = QFile::encodeName(clean.mid(slash + 1));
        int ownLevels = 0;
        fd_ = HeldDescriptor(folder_, &ownLevels);
        if (fd_ == -2) {
            // Removed since it was checked: what is there now is checked the same way, and held.
            fd_ = CheckProgramFolder(folder_, ownLevels, {}, true).outcome == FolderCheck::Sound
                      ? HeldDescriptor(folder_, &ownLevels)
                      : -1;
            error_ = fd_ < 0 ? EACCES : 0;
            return;
        }
        if (fd_ >= 0)
            return;
        own_ = Descriptor(::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        fd_ = own_.get();
        error_ = fd_ < 0 ? errno : 0;
    }
    int fd() const { return fd_; }
    int error() const { return error_; }
    const QByteArray& name() const { return name_; }
    const QString& folder() const { return folder_; }
    // False when the folder has been removed since it was opened: what is written there is lost.
    bool StillThere() const {
        struct stat info {};
        return ::fstat(fd_, &info) == 0 && info.st_nlink > 0;
    }

private:
    QString folder_;
    QByteArray name_;
    Descriptor own_;
    int fd_ = -1;
    int error_ = 0;
};

bool Lstat(int at, const QByteArray& name, struct stat& info) {
    return ::fstatat(at, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// Gives the open file `fd` a modification time later than `previous` when the clock has not
// moved on past it (two writes in one millisecond, or a clock set back).
void ComeAfter(int fd, const struct stat& previous) {
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return;
    const auto milliseconds = [](const timespec& t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; };
    const qint64 later = milliseconds(previous.st_mtim) + 1;
    if (milliseconds(now.st_mtim) >= later)
        return;
    const timespec times[2] = {{0, UTIME_OMIT}, {later / 1000, (later % 1000) * 1000000}};
    ::futimens(fd, times);
}

// Renames `from` to `to` in the folder `at` without replacing anything, decided in one step.
// Returns 0, EEXIST or another errno value.
int RenameNoReplace(int at, const char* from, const char* to) {
    if (const int result = unixport::RenameNoReplace(at, from, to); result != ENOSYS)
        return result;
    // The system or the file system cannot rename without replacing; a hard link is just as
    // exclusive.
    if (::linkat(at, from, at, to, 0) == 0) {
        ::unlinkat(at, from, 0);
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return errno;
    // Neither works here (some removable-media file systems): the best that remains.
    if (struct stat info{}; ::fstatat(at, to, &info, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(at, from, at, to) == 0 ? 0 : errno;
}

int SyncFile(int fd) {
    if (::fsync(fd) != 0)
        return errno;
    ++fileSyncs;
    return 0;
}

void SyncFolder(int fd) {
    if (::fsync(fd) == 0) // not every file system can; the files themselves are on disk already
        ++folderSyncs;
}

// A new temporary file in the folder `at`, created under a name of its own and locked by this
// process before anything is written: a file of ours whose lock can be taken belongs to no
// running instance (CheckProgramFolder removes it).
class TempFile {
public:
    ~TempFile() {
        if (!name_.isEmpty())
            ::unlinkat(at_, name_.constData(), 0);
    }
    int Create(int at) {
        at_ = at;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = QFile::encodeName(NewTempFileName());
            Descriptor fd(::openat(at, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (!fd) {
                if (errno == EEXIST)
                    continue;
                return errno;
            }
            // Locked, and still there: the start of another instance may have taken it for a
            // stale one in between (it locks, removes, lets go), and then a new name is needed.
            // Where the file system has no locks, nobody can take it for a stale one either.
            if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
                continue;
            if (struct stat info{}; ::fstat(fd.get(), &info) != 0 || info.st_nlink == 0)
                continue;
            fd_ = std::move(fd);
            name_ = name;
            return 0;
        }
        return EEXIST;
    }
    int Write(const QByteArray& bytes) {
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_.get(), data, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno;
            data += n;
            left -= n;
        }
        return 0;
    }
    int fd() const { return fd_.get(); }
    const QByteArray& name() const { return name_; }
    int Close() { return ::close(fd_.release()) == 0 || errno == EINTR ? 0 : errno; }
    void Release() { name_.clear(); }

private:
    int at_ = -1;
    Descriptor fd_;
    QByteArray name_;
};

// The temporary files of ours in the folder `at` that no running instance holds.
void RemoveStaleTempFiles(int at) {
    const int listing = ::dup(at);
    if (listing < 0)
        return;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return;
    }
    ::rewinddir(dir);
    std::vector<QByteArray> stale;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTempFileName(QFile::decodeName(entry->d_name)))
            continue;
        Descriptor fd(::openat(at, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (fd && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && IsOwn(info) &&
            ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(at, entry->d_name, 0); // the lock goes with the descriptor
    }
    ::closedir(dir);
}

// Takes group and others' rights from the regular files of the user's own in the folder `at`
// whose names match one of `patterns`.
void KeepFilesPrivate(int at, const QStringList& patterns) {
    if (patterns.isEmpty())
        return;
    std::vector<QRegularExpression> matchers;
    for (const QString& pattern : patterns)
        matchers.emplace_back(QRegularExpression::wildcardToRegularExpression(pattern),
                              QRegularExpression::CaseInsensitiveOption);
    const int listing = ::dup(at);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (dir == nullptr) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    ::rewinddir(dir); // the copy shares its place in the listing with `at`
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (std::none_of(matchers.cbegin(), matchers.cend(), [&](const auto& m) { return m.match(name).hasMatch(); }))
            continue;
        struct stat info {};
        if (::fstatat(at, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) || !IsOwn(info) ||
            (info.st_mode & kGroupAndOthers) == 0)
            continue;
        Descriptor fd(::openat(at, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && IsOwn(info))
            ::fchmod(fd.get(), info.st_mode & 07777 & ~kGroupAndOthers);
    }
    ::closedir(dir);
}

// One name still to walk: which folder of the path it stands for (its index), and whether it
// is that folder itself (else a folder on the way a link took).
struct Step {
    QByteArray name;
    int index = 0;
    bool last = true;
};

} // namespace

QString UserHomeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return QDir::cleanPath(home);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr)
        return QString();
    const QString database = QFile::decodeName(found->pw_dir);
    return QDir::isAbsolutePath(database) ? QDir::cleanPath(database) : QString();
}

bool MakePrivatePath(const QString& folder) {
    if (folder.isEmpty())
        return false;
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    if (int ownLevels = 0; HeldDescriptor(path, &ownLevels) >= 0)
        return true; // checked at start and still there: its path is not walked again
    Descriptor at(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        const QByteArray name = QFile::encodeName(part);
        // Another process may make the same folder at the same time; what counts is that it is
        // one afterwards.
        if (::mkdirat(at.get(), name.constData(), S_IRWXU) != 0 && errno != EEXIST)
            return false;
        Descriptor next(::openat(at.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!next)
            return false;
        at = std::move(next);
    }
    return bool(at);
}

FolderCheck CheckProgramFolder(const QString& folder, int ownLevels, const QStringList& ownFiles, bool make) {
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    const auto named = [&parts](int index) { return u'/' + parts.mid(0, index + 1).join(u'/'); };
    const int ownFrom = int(parts.size()) - ownLevels;
    // The way is checked from the user's home when the folder is in it (the home included), else
    // from the folder above the program's.
    int checkFrom = std::max(0, ownFrom - 1);
    const QString home = UserHomeFolder();
    if (!home.isEmpty() && home != u'/' && (path + u'/').startsWith(home + u'/'))
        checkFrom = int(home.split(u'/', Qt::SkipEmptyParts).size()) - 1;

    FolderCheck result;
    result.folder = path;
    Descriptor at(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!at)
        return result;
    std::deque<Step> steps;
    for (int i = 0; i < parts.size(); ++i)
        steps.push_back({QFile::encodeName(parts.at(i)), i, true});
    int links = 0;
    // Once a link on the checked way has been followed, every folder it leads through is checked.
    bool checkAll = false;
    while (!steps.empty()) {
        const Step step = steps.front();
        steps.pop_front();
        const bool checked = checkAll || step.index >= checkFrom;
        const bool programs = step.last && step.index >= ownFrom;
        const auto refuse = [&] {
            result.outcome = FolderCheck::Refused;
            result.folder = named(step.index);
            return result;
        };
        if (step.name == ".")
            continue;
        struct stat info {};
        if (!Lstat(at.get(), step.name, info)) {
            if (errno != ENOENT)
                return result;
            if (!make) { // what is below is missing too: nothing more to look at
                result.outcome = FolderCheck::Sound;
                return result;
            }
            // Missing: made private. Another process may make it at the same time; it is
            // looked at as any folder that was there.
            if (::mkdirat(at.get(), step.name.constData(), S_IRWXU) != 0 && errno != EEXIST)
                return result;
            if (!Lstat(at.get(), step.name, info))
                return result;
        }
        if (S_ISLNK(info.st_mode)) {
            if (checked && !IsOwnOrRoot(info))
                return refuse();
            if (++links > kMaxLinks)
                return result;
            QByteArray target(PATH_MAX, '\0');
            const ssize_t n = ::readlinkat(at.get(), step.name.constData(), target.data(), size_t(target.size()));
            if (n <= 0 || n >= target.size())
                return result;
            target.truncate(n);
            if (target.startsWith('/')) {
                Descriptor root(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                if (!root)
                    return result;
                at = std::move(root);
            }
            const QList<QByteArray> names = target.split('/');
            std::vector<Step> expanded;
            for (const QByteArray& name : names)
                if (!name.isEmpty())
                    expanded.push_back({name, step.index, false});
            if (expanded.empty())
                expanded.push_back({".", step.index, false});
            expanded.back().last = step.last;
            steps.insert(steps.begin(), expanded.cbegin(), expanded.cend());
            checkAll = checkAll || checked;
            continue;
        }
        if (!S_ISDIR(info.st_mode))
            return result; // a file in the way: the folder cannot be made
        Descriptor next(OpenFolderAt(at.get(), step.name.constData()));
        if (!next || ::fstat(next.get(), &info) != 0)
            return result;
        if (programs && make) {
            // The program's own folders are the user's; open to others, they are closed.
            if (!IsOwn(info))
                return refuse();
            // What cannot be changed (a read-only disk) is left as it is, unless others could write.
            if ((info.st_mode & kGroupAndOthers) != 0 &&
                ::fchmod(next.get(), info.st_mode & 07777 & ~kGroupAndOthers) != 0 && OpenToOthers(info))
                return refuse();
        } else if (programs ? !IsOwn(info) : checked && (!IsOwnOrRoot(info) || OpenToOthers(info))) {
            return refuse();
        }
        at = std::move(next);
    }
    result.outcome = FolderCheck::Sound;
    if (!make)
        return result;
    KeepFilesPrivate(at.get(), ownFiles);
    RemoveStaleTempFiles(at.get());
    {
        const std::lock_guard lock(heldMutex);
        HeldFolder& held = Held()[path];
        if (held.fd >= 0)
            ::close(held.fd);
        held = {at.release(), ownLevels};
    }
    return result;
}

void ForgetProgramFolders() {
    const std::lock_guard lock(heldMutex);
    for (const auto& [path, held] : Held())
        ::close(held.fd);
    Held().clear();
}

OwnFile ReadOwnFile(const QString& path, qint64 maxBytes, QByteArray* bytes) {
    if (bytes)
        bytes->clear();
    const FolderOf folder(path);
    if (folder.fd() < 0)
        return folder.error() == ENOENT || folder.error() == ENOTDIR ? OwnFile::Missing : OwnFile::Unreadable;
    struct stat info {};
    if (!Lstat(folder.fd(), folder.name(), info))
        return errno == ENOENT ? OwnFile::Missing : OwnFile::Unreadable;
    if (S_ISDIR(info.st_mode))
        return OwnFile::Folder;
    if (!S_ISREG(info.st_mode) || !IsOwn(info))
        return OwnFile::Foreign; // not even opened: a FIFO would wait for a writer, a device may act
    if (!bytes)
        return info.st_size > maxBytes ? OwnFile::TooLarge : OwnFile::Regular;

    // Should something else have taken its place since, the open neither follows a link nor
    // waits, and what was opened is looked at again; the bytes come from what was looked at.
    const Descriptor fd(
        ::openat(folder.fd(), folder.name().constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!fd)
        return errno == ELOOP ? OwnFile::Foreign : errno == ENOENT ? OwnFile::Missing : OwnFile::Unreadable;
    if (::fstat(fd.get(), &info) != 0)
        return OwnFile::Unreadable;
    if (S_ISDIR(info.st_mode))
        return OwnFile::Folder;
    if (!S_ISREG(info.st_mode) || !IsOwn(info))
        return OwnFile::Foreign;
    OwnFile found = OwnFile::Regular;
    bytes->resize(qsizetype(qMin<qint64>(maxBytes, info.st_size) + 1));
    qsizetype got = 0;
    while (got < bytes->size()) {
        const ssize_t n = ::read(fd.get(), bytes->data() + got, size_t(bytes->size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            found = n < 0 ? OwnFile::Unreadable : OwnFile::Regular;
            break;
        }
        got += n;
    }
    bytes->truncate(qMin<qint64>(got, maxBytes));
    if (found == OwnFile::Regular && got > maxBytes)
        found = OwnFile::TooLarge;
    return found;
}

bool SetAside(const QString& path) {
    const FolderOf folder(path);
    if (folder.fd() < 0)
        return false;
    const QByteArray& from = folder.name();
    QByteArray oldest;
    timespec oldestTime{};
    for (int n = 1; n <= kMaxSetAside; ++n) {
        const QByteArray to = from + (n == 1 ? QByteArray(".damaged") : ".damaged-" + QByteArray::number(n));
        const int err = RenameNoReplace(folder.fd(), from.constData(), to.constData());
        if (err == 0)
            return true;
        if (err != EEXIST)
            return false;
        struct stat info {};
        if (Lstat(folder.fd(), to, info) &&
            (oldest.isEmpty() || info.st_mtim.tv_sec < oldestTime.tv_sec ||
             (info.st_mtim.tv_sec == oldestTime.tv_sec && info.st_mtim.tv_nsec < oldestTime.tv_nsec))) {
            oldest = to;
            oldestTime = info.st_mtim;
        }
    }
    // None free: the oldest one set aside makes room (a folder only when empty).
    if (oldest.isEmpty())
        return false;
    if (::unlinkat(folder.fd(), oldest.constData(), 0) != 0 &&
        (errno != EISDIR || ::unlinkat(folder.fd(), oldest.constData(), AT_REMOVEDIR) != 0))
        return false;
    return RenameNoReplace(folder.fd(), from.constData(), oldest.constData()) == 0;
}

QString WriteWholeFile(const QString& path, const QByteArray& bytes, bool durable, const FreeName& names) {
    const QString first = names ? names(1) : path;
    const FolderOf folder(first);
    if (first.isEmpty() || folder.name().isEmpty() || first.endsWith(u'/'))
        throw ErrorFromErrno(ENOENT, QStringLiteral("Can't write"), path);
    if (folder.fd() < 0)
        throw ErrorFromErrno(folder.error(), QStringLiteral("Can't create a file in"), folder.folder());
    TempFile temp;
    if (const int err = temp.Create(folder.fd()))
        throw ErrorFromErrno(err, QStringLiteral("Can't create a file in"), folder.folder());
    int err = temp.Write(bytes);
    if (err == 0 && durable)
        err = SyncFile(temp.fd());
    if (err != 0)
        throw ErrorFromErrno(err, QStringLiteral("Can't write"), path);
    if (struct stat previous{}; !names && Lstat(folder.fd(), folder.name(), previous))
        ComeAfter(temp.fd(), previous);
    if (const int closeErr = temp.Close())
        throw ErrorFromErrno(closeErr, QStringLiteral("Can't write"), path);

    QString written;
    if (!names) {
        if (::renameat(folder.fd(), temp.name().constData(), folder.fd(), folder.name().constData()) != 0)
            throw ErrorFromErrno(errno, QStringLiteral("Can't write"), path);
        written = path;
    } else {
        for (int n = 1; written.isEmpty(); ++n) {
            const QString candidate = n == 1 ? first : names(n);
            if (candidate.isEmpty())
                throw ErrorFromErrno(EEXIST, QStringLiteral("Can't write"), path);
            const QByteArray name = QFile::encodeName(QDir::cleanPath(candidate).section(u'/', -1));
            err = RenameNoReplace(folder.fd(), temp.name().constData(), name.constData());
            if (err == 0)
                written = candidate;
            else if (err != EEXIST)
                throw ErrorFromErrno(err, QStringLiteral("Can't write"), candidate);
        }
    }
    temp.Release();
    if (!folder.StillThere()) // removed since the program checked it: what was written is gone
        throw ErrorFromErrno(ENOENT, QStringLiteral("Can't write"), path);
    // The new name is on the disk too.
    if (durable)
        SyncFolder(folder.fd());
    return written;
}

SyncCounts DiskSyncs() { return {fileSyncs.load(), folderSyncs.load()}; }

} // namespace pellora::platform
