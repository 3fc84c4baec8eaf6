#pragma once

// The program's files hold personal messages and names: the folders it creates are open to
// their owner only (0700) and the files it writes readable by their owner only (0600). The
// umask may make either stricter, never looser.
//
// At start the program's folders are checked along their whole way from the user's home (or
// the base folder they are in, when that is not in the home): every folder on the way must
// belong to the user or to root and be writable by nobody else (unless sticky, as /tmp is), so
// that nobody else can put anything in the program's way. Each checked folder is then held open,
// and its files are read, written and moved relative to what was checked, never through a link:
// a link put in place later leads nowhere. A file is only ever read when it is a regular file of
// the user's own, so that nothing another user put in the program's way is written through or
// blocks a read.
//
// On Windows the per-user folders are private by their access lists and nobody else can change
// the way to them: there the helpers only create, read and replace, by path.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace pellora::platform {

// The user's home folder: $HOME when it holds an absolute path, else the one the system gives
// the user; empty when there is none.
QString UserHomeFolder();

// Creates `folder` with every missing parent, each new one 0700 (less what the umask takes).
// Folders that exist are left as they are. True when `folder` is a folder afterwards.
bool MakePrivatePath(const QString& folder);

// What CheckProgramFolder found.
struct FolderCheck {
    enum Outcome {
        Sound,   // checked, made where missing, and held
        Refused, // a folder on the way belongs to another user or is open to others: `folder`
        Failed,  // could not be made or opened (a file in the way, a name too long): `folder`
    };
    Outcome outcome = Failed;
    QString folder; // the folder refused (a link: the link, as `folder` names it), or `folder`
};

// Checks and holds the program's folder `folder`, whose last `ownLevels` folders are the
// program's (the company and data folders: 2; the settings folder: 1), making the missing ones
// private. The way is checked from the user's home when `folder` is in it, else from the folder
// above the program's; a link on the way is followed and what it leads to is checked along its
// whole way. The program's own folders of the user's own that are open to group or others are
// closed, and then the regular files of the user's own in the last one that match one of
// `ownFiles` (wildcards, any letter case). The temporary files of the program's writes that no
// running instance holds are removed from the last one. From then on the files directly in
// `folder` are read, written and moved relative to the folder held. Unless `make`, it only
// looks (as far as the folders exist) and changes nothing. On Windows only made.
FolderCheck CheckProgramFolder(const QString& folder, int ownLevels, const QStringList& ownFiles, bool make);

// Lets go of every folder CheckProgramFolder holds (tests that check the folders again).
void ForgetProgramFolders();

// What ReadOwnFile found at a path.
enum class OwnFile {
    Missing,    // nothing there
    Regular,    // a regular file of the user's own, read whole
    Folder,     // a folder
    Foreign,    // not a regular file (a link, a FIFO, a device, a socket), or one of another
                // user: never opened
    TooLarge,   // a regular file of the user's own, larger than asked for
    Unreadable, // there, but it cannot be opened or read
};

// Reads the file `path` when it is a regular file of the user's own, at most `maxBytes` of it,
// from the descriptor that was checked: opened without following a link and without waiting,
// looked at once opened, read from then on. Never blocks on what it finds there, and never
// opens anything else. With `bytes` null it only looks; else `bytes` holds what was read (the
// first `maxBytes` bytes of a file that is too large).
OwnFile ReadOwnFile(const QString& path, qint64 maxBytes, QByteArray* bytes);

// Moves what stands at `path` (whatever it is; a link itself, not what it names) out of the way
// under the first free of "<name>.damaged", "<name>.damaged-2", ... "<name>.damaged-100", never
// over anything; when none is free, in place of the oldest of them (one that is a folder with
// something in it stays). False when it could not be moved: then what stands there must not be
// written over.
bool SetAside(const QString& path);

// For a write that never replaces a file: the n-th path to try (n = 1, 2, ...), in the same
// folder as the first; empty when there are no more.
using FreeName = std::function<QString(int n)>;

// The one way the program writes a file: `bytes` as the whole content of a new private file
// (0600 less the umask) in the folder of `path`, written under a temporary name held by this
// process, flushed to the disk when `durable`, then renamed into place and the folder flushed
// (when `durable`), so that a reader finds the old file or the new one, never a part, and a
// crash or a full disk never leaves half a file. With `names` empty the file replaces what is
// at `path` (a link itself, never what it names); else it takes the first of names(1),
// names(2), ... at which nothing stands. A new version's modification time is always later than
// the old one's, so that a reader that goes by size and time sees every change. Returns the path
// written. Throws pellora::Error with the path and the reason when it cannot; nothing is left
// behind then, and the old file is as it was.
QString WriteWholeFile(const QString& path, const QByteArray& bytes, bool durable = true, const FreeName& names = {});

// How often the disk was asked to keep what WriteWholeFile wrote: the new files, and the
// folders that took their names. For the tests of the durable writes.
struct SyncCounts {
    int files = 0;
    int folders = 0;
};
SyncCounts DiskSyncs();

// The names of WriteWholeFile's temporary files: ".pellora-" 12 lowercase hex digits ".tmp".
QString NewTempFileName();
bool IsTempFileName(const QString& name);

} // namespace pellora::platform
