#pragma once

// Where and how the system keeps a program's settings: on Linux an INI file in the user's
// configuration folder ($XDG_CONFIG_HOME/<company>/<application>.ini, in the INI format of
// QSettings), on Windows the user's registry hive (HKEY_CURRENT_USER, Software, <company>,
// <application>). The settings store of the component library reads them all once and writes
// them all at each change.

#include <QString>
#include <QVariantMap>

namespace pellora::platform {

// Where the settings are kept: a file path, or a registry path on Windows.
QString StoredSettingsLocation(const QString& company, const QString& application);

// The folder that holds the settings file; empty on Windows, where there is none.
QString StoredSettingsFolder(const QString& company, const QString& application);

// Every stored key ("key", or "section/key") with its value: a text, a list of texts, or what
// a hand-edited value reads as. A settings file that is no regular file of the user's own, or
// that is far larger than settings can be, is not read at all but set aside (as SetAside does)
// and reads as nothing stored; a damaged one gives what can still be read.
QVariantMap ReadStoredSettings(const QString& company, const QString& application);

// Stores `values` as the settings, so that ReadStoredSettings reads them back: texts, lists of
// texts, and numbers and booleans (which read back as texts). A value of any other kind (one
// that only a hand-edited file can hold) is left out. The file is replaced whole (WriteWholeFile).
// Throws pellora::Error when they cannot be stored; what was stored is then as it was.
void WriteStoredSettings(const QString& company, const QString& application, const QVariantMap& values);

} // namespace pellora::platform
