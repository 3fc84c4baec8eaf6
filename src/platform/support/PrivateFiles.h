#pragma once

// The program's files hold personal messages and names: the folders it creates are open to
// their owner only (0700) and the files it writes readable by their owner only (0600). The
// umask may make either stricter, never looser. Folders and files that another user made are
// not used, and a file is only ever read when it is a regular file of the user's own, so that
// nothing another user put in the program's way is written through or blocks a read. On
// Windows the per-user folders are private already: there the helpers only create, read and
// replace.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace pellora::platform {

// Creates `folder` with every missing parent, each new one 0700 (less what the umask takes).
// Folders that exist are left as they are. True when `folder` is a folder afterwards.
bool MakePrivatePath(const QString& folder);

// True when `path` exists and belongs to another user, or is a link that does, or a link to
// something that does. Always false on Windows.
bool BelongsToAnotherUser(const QString& path);

// When the folder `folder` is the user's own but open to group or others: takes those rights from
// it, then from the regular files in it that match one of `ownFiles` (wildcards, as QDir takes
// them). What cannot be changed is left as it is.
void KeepFolderPrivate(const QString& folder, const QStringList& ownFiles);

// What ReadOwnFile found at a path.
enum class OwnFile {
    Missing,    // nothing there (a link of the user's own to nothing counts as nothing)
    Regular,    // a regular file of the user's own, read whole
    Folder,     // a folder
    Foreign,    // not a regular file (a FIFO, a device, a socket), or one of another user, or a
                // link of another user: never opened
    TooLarge,   // a regular file of the user's own, larger than asked for
    Unreadable, // there, but it cannot be opened or read
};

// Reads the file `path` when it is a regular file of the user's own, at most `maxBytes` of it;
// a link of the user's own is followed to such a file. Never blocks on what it finds there, and
// never opens anything else. With `bytes` null it only looks; else `bytes` holds what was read
// (the first `maxBytes` bytes of a file that is too large).
OwnFile ReadOwnFile(const QString& path, qint64 maxBytes, QByteArray* bytes);

// Moves what stands at `path` (whatever it is; a link itself, not what it names) out of the way
// under "<name>.damaged", "<name>.damaged-2", ..., so that a person may still look at it and the
// next write does not meet it. False when it could not be moved.
bool SetAside(const QString& path);

// Writes `bytes` as the whole new content of the file `path`: into a new private temporary file
// in the same folder, flushed to the disk and checked, then renamed over the old file, so that a
// reader finds the old file or the new one, never a part. A link of the user's own to a regular
// file of theirs is written through (the file it names is replaced); any other link is replaced
// itself. On Linux a new version's modification time is always later than the old one's, so
// that a reader that goes by size and time (QSettings) sees every change. Throws pellora::Error (path and file
// access, with the path and the reason) when it cannot; the old file is as it was then.
void WriteWholeFile(const QString& path, const QByteArray& bytes);

// A new file under a temporary name in a folder, open for writing and readable by its owner only
// (less what the umask takes); removed again when the object ends, unless it has been moved into
// place and released. The calls return 0 or an errno value (on Windows, the nearest one).
class NewFile {
public:
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile();

    // Creates the file under a new name from NewTempFilePath(folder), never through a link.
    int Create(const QString& folder);
    // Writes all of `bytes`.
    int Write(const QByteArray& bytes);
    // Puts what was written on the disk.
    int Sync();
    int Close();

    const QString& path() const { return path_; }
    // The file now lives under another name (or was removed): nothing to clean up.
    void Release() { path_.clear(); }
    // The open file descriptor or handle, for the system's own calls; -1 once closed.
    qintptr handle() const { return handle_; }

private:
    qintptr handle_ = -1;
    QString path_;
};

// Renames the file `from` to `to`; unless `replace`, only when `to` does not exist, decided in one
// step. Returns 0, EEXIST or another errno value.
int RenameFile(const QString& from, const QString& to, bool replace);

// Puts the names in `folder` (the renames of the files written there) on the disk, where the
// file system can say so.
void SyncFolder(const QString& folder);

// The temporary files of WriteWholeFile and the text-file writer: ".pellora-" 12 hex digits ".tmp".
QString NewTempFilePath(const QString& folder);
// Removes those in `folder` that are older than any write takes: left by a run that ended while
// writing, they cannot belong to a write still going on in another instance.
void RemoveStaleTempFiles(const QString& folder);

} // namespace pellora::platform
