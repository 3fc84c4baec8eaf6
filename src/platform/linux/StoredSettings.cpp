// The settings file on Linux: read by QSettings, written here in the same INI format, whole,
// through WriteWholeFile. QSettings' own writer does not notice when its last buffered write fails
// (a full disk) and puts a cut-off or empty file in place of the old one.

#include "platform/support/StoredSettings.h"

#include "platform/linux/XdgFolders.h"
#include "platform/runtime/Error.h"
#include "platform/support/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QStringEncoder>
#include <QStringList>

namespace pellora::platform {

namespace {

// Five settings of a name field's longest text, every character escaped, take a few KiB; a
// file this large is not a settings file of this program, and parsing it would cost the
// start-up seconds and gigabytes.
constexpr qint64 kMaxFileSize = 64 * 1024;

bool IsHexDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

// A key or section name: letters, digits, '_', '-' and '.' as they are, '/' as '\', any other
// character as %XX or %UXXXX.
QByteArray IniKey(const QString& key) {
    QByteArray out;
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        if (u == u'/')
            out += '\\';
        else if ((u < 0x80 && QChar::isLetterOrNumber(u)) || u == u'_' || u == u'-' || u == u'.')
            out += char(u);
        else if (u <= 0xFF)
            out += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        else
            out += "%U" + QByteArray::number(u, 16).toUpper().rightJustified(4, '0');
    }
    return out;
}

// One text as an INI value: UTF-8, with C-style escapes for the control characters, U+FEFF, the
// quote and the backslash, in quotes when it holds ';', ',' or '=' or begins or ends with a blank.
void AppendText(QString text, QByteArray& out) {
    if (text.startsWith(u'@'))
        text.prepend(u'@'); // a leading '@' marks the value types of QSettings
    const qsizetype start = out.size();
    bool quoted = false;
    // After "\0" or "\xN" the reader takes any further (hex) digit as part of the escape: such
    // a digit is escaped as well.
    bool escapeDigit = false;
    QStringEncoder utf8(QStringEncoder::Utf8);
    for (const QChar c : std::as_const(text)) {
        const char16_t u = c.unicode();
        quoted = quoted || u == u';' || u == u',' || u == u'=';
        if (escapeDigit && IsHexDigit(u)) {
            out += "\\x" + QByteArray::number(u, 16);
            continue;
        }
        escapeDigit = false;
        switch (u) {
        case u'\0':
            out += "\\0";
            escapeDigit = true;
            break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        case u'"':
        case u'\\':
            out += '\\';
            out += char(u);
            break;
        default:
            // The reader's UTF-8 decoder drops a byte-order mark at the start of what it decodes.
            if (u < 0x20 || u == 0xFEFF) {
                out += "\\x" + QByteArray::number(u, 16);
                escapeDigit = true;
            } else {
                out += QByteArray(utf8(QStringView(&c, 1)));
            }
        }
    }
    if (quoted || (out.size() > start && (out.at(start) == ' ' || out.back() == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

// The value as QSettings writes it; false for a kind left out.
bool AppendValue(const QVariant& value, QByteArray& out) {
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Bool: AppendText(value.toString(), out); return true;
    case QMetaType::QStringList: {
        const QStringList list = value.toStringList();
        if (list.isEmpty())
            out += "@Invalid()";
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (i > 0)
                out += ", ";
            AppendText(list.at(i), out);
        }
        return true;
    }
    default: return false;
    }
}

QByteArray IniFile(const QVariantMap& values) {
    // Section by section; the keys of no section first, under [General].
    QMap<QString, QVariantMap> sections;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        sections[slash < 0 ? QString() : it.key().left(slash)].insert(it.key().mid(slash + 1), it.value());
    }
    QByteArray out;
    for (auto section = sections.cbegin(); section != sections.cend(); ++section) {
        QByteArray name = IniKey(section.key());
        if (name.isEmpty())
            name = "General";
        else if (name.compare("general", Qt::CaseInsensitive) == 0)
            name = "%General";
        if (!out.isEmpty())
            out += '\n';
        out += '[' + name + "]\n";
        for (auto it = section->cbegin(); it != section->cend(); ++it) {
            QByteArray line = IniKey(it.key()) + '=';
            if (AppendValue(it.value(), line))
                out += line + '\n';
        }
    }
    return out;
}

} // namespace

QString StoredSettingsLocation(const QString& company, const QString& application) {
    return QDir::cleanPath(XdgConfigHome() + u'/' + company + u'/' + application + QStringLiteral(".ini"));
}

QString StoredSettingsFolder(const QString& company, const QString& application) {
    return QFileInfo(StoredSettingsLocation(company, application)).path();
}

QVariantMap ReadStoredSettings(const QString& company, const QString& application) {
    const QString path = StoredSettingsLocation(company, application);
    QVariantMap values;
    switch (ReadOwnFile(path, kMaxFileSize, nullptr)) {
    case OwnFile::Regular: break;
    case OwnFile::Missing:
    case OwnFile::Folder: return values; // a folder in its place: the first write reports it
    case OwnFile::Foreign:
    case OwnFile::TooLarge:
    case OwnFile::Unreadable:
        if (!SetAside(path))
            qWarning("Pellora: could not set the settings file %s aside", qUtf8Printable(path));
        return values;
    }
    // QSettings parses the file; what it cannot parse is left out (a hand-edited or damaged
    // file), and the next write replaces the file with what could be read.
    const QSettings file(path, QSettings::IniFormat);
    for (const QString& key : file.allKeys())
        values.insert(key, file.value(key));
    return values;
}

void WriteStoredSettings(const QString& company, const QString& application, const QVariantMap& values) {
    const QString path = StoredSettingsLocation(company, application);
    // The folder made for the file is private; one that is there is left as it is.
    if (!MakePrivatePath(QFileInfo(path).path()))
        throw Error(ErrorNumber::PathFileAccess, QStringLiteral("Can't store the settings in %1.").arg(path));
    WriteWholeFile(path, IniFile(values));
}

} // namespace pellora::platform
