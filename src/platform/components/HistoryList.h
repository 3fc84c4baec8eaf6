#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QLineEdit;

namespace pellora {

struct AppObject;

namespace platform {

// A list of past values of one text field, kept in a file of its own between runs.
// Newest first; adding an entry that is already there moves it to the top, with the spelling
// added (letter case counts unless the list is told to ignore it); at most MaxEntries are kept,
// none longer than MaxEntryLength.
//
// The history file (format version 1) is UTF-8 text:
//   line 1:   "PelloraHistory 1"
//   then one line per entry, newest first, each entry written with C-style escapes so that any
//   character a field can hold fits on one line: "\\" for a backslash, "\n" for LF, "\r" for
//   CR, "\0" for U+0000, "\t" for TAB. No other escape is written; a line ends with LF.
// A file that cannot be read whole keeps what could be read; the damaged file is set aside
// (SetAside: "<name>.damaged", "<name>.damaged-2", ...) before the next Save writes a sound one.
// So is anything in the file's place that is not a regular file of the user's own (a folder, a
// link, a FIFO, a device, another user's file), unread. A damaged file that cannot be set aside
// is never written over: Save throws then. A line with an entry longer than MaxEntryLength (from an
// earlier version) is skipped; the file is not damaged for it.
class HistoryList {
public:
    static constexpr int MaxEntries = 25;
    // The longest entry kept, in UTF-16 code units: the longest text a name field takes.
    static constexpr int MaxEntryLength = 255;

    // With Qt::CaseInsensitive, entries that differ only in letter case are one entry (computer
    // names): Add replaces one with the new spelling, Load keeps the newest. Set before Load.
    void SetLetterCase(Qt::CaseSensitivity letterCase) { letterCase_ = letterCase; }

    // Binds the list to the history file `fileName` in the application-data folder of `app`.
    // `reserved1` and `reserved2` must be empty; `flags` is -1.
    void Open(const QString& fileName, const QString& reserved1, const AppObject& app, const QString& reserved2,
              int flags);
    // Reads the file; no file gives an empty list.
    void Load();
    // Writes the file atomically, unless it already holds the list as it would be written.
    // Throws pellora::Error when it cannot be written.
    void Save();
    // Puts `text` at the top of the list; a text longer than MaxEntryLength is left out.
    void Add(const QString& text);
    // Offers the entries in a pop-up menu under the widget that has the focus (the history
    // button); a chosen entry becomes the text of `box`. Returns true when one was chosen. The
    // window side's (window/HistoryPick.cpp): only what links it can pick.
    bool PickInto(QLineEdit& box);

    const QStringList& Entries() const { return entries_; }
    QString FilePath() const { return path_; }

    // The file format on its own, for tests and fuzzing. Parse never fails: it returns what it
    // could read and sets `damaged` when something could not be read; entries that are the same
    // (in `letterCase`, as for SetLetterCase) are kept once, the first.
    static QStringList Parse(const QByteArray& bytes, bool* damaged,
                             Qt::CaseSensitivity letterCase = Qt::CaseSensitive);
    static QByteArray Serialize(const QStringList& entries);

private:
    QString path_;
    QStringList entries_;
    bool damagedInPlace_ = false; // Load could not set the damaged file aside
    Qt::CaseSensitivity letterCase_ = Qt::CaseSensitive;
};

} // namespace platform
} // namespace pellora
