// The settings file on Linux, in the INI format of QSettings: read from the descriptor that was
// checked (ReadOwnFile) and parsed here, so that nothing opens the file a second time by its
// name; written here in the same format, whole, through WriteWholeFile. (QSettings' own writer
// does not notice when its last buffered write fails, and its reader opens the file by name.)

#include "platform/support/StoredSettings.h"

#include "platform/linux/XdgFolders.h"
#include "platform/runtime/Error.h"
#include "platform/support/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QStringDecoder>
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

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QString Utf8(QByteArrayView bytes) { return QStringDecoder(QStringDecoder::Utf8).decode(bytes); }

// Undoes IniKey: '\' is '/', %XX and %UXXXX are the character; anything else is as it stands.
QString KeyFromIni(QByteArrayView key) {
    QString out;
    QByteArray plain;
    const auto flush = [&] {
        out += Utf8(plain);
        plain.clear();
    };
    for (qsizetype i = 0; i < key.size(); ++i) {
        const char c = key.at(i);
        if (c == '\\') {
            plain += '/';
            continue;
        }
        const bool wide = c == '%' && i + 1 < key.size() && key.at(i + 1) == 'U';
        const int digits = wide ? 4 : 2;
        const qsizetype from = i + (wide ? 2 : 1);
        char32_t code = 0;
        bool escape = c == '%' && from + digits <= key.size();
        for (int d = 0; escape && d < digits; ++d) {
            const int v = HexValue(key.at(from + d));
            escape = v >= 0;
            code = code * 16 + char32_t(std::max(v, 0));
        }
        if (!escape) {
            plain += c;
            continue;
        }
        flush();
        out += QChar(char16_t(code));
        i = from + digits - 1;
    }
    flush();
    return out;
}

// One value as AppendValue writes it, or as a person would type it: blanks around it and
// around the commas that part a list are dropped, quotes keep what is between them as it
// stands, a backslash escapes as in C (\a \b \f \n \r \t \v, \x hex digits, \0 octal digits, any
// other character as itself), ';' outside quotes begins a comment. A value with a comma outside
// quotes is a list. "@@..." is a text that begins with '@'; "@ByteArray(...)" and "@String(...)"
// the text between the brackets; "@Invalid()" no value at all, and QSettings' other kinds
// ("@Variant(...)", "@Rect(...)", ...) none this program stores (left out).
QVariant ValueFromIni(QByteArrayView value) {
    QStringList parts;
    QString current;
    QByteArray plain;
    bool quoted = false;
    bool list = false;
    bool started = false; // something of this part has been read
    qsizetype keepTo = 0; // `current` up to here is kept even when blank
    const auto flush = [&] {
        current += Utf8(plain);
        plain.clear();
    };
    const auto endPart = [&] {
        flush();
        // Blanks typed after the value, outside quotes, are not part of it.
        while (current.size() > keepTo && (current.back() == u' ' || current.back() == u'\t'))
            current.chop(1);
        parts.append(current);
        current.clear();
        keepTo = 0;
        started = false;
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (!quoted && !started && (c == ' ' || c == '\t'))
            continue;
        if (!quoted && c == ';')
            break;
        if (!quoted && c == ',') {
            list = true;
            endPart();
            continue;
        }
        started = true;
        if (c == '"') {
            quoted = !quoted;
            flush();
            keepTo = current.size();
            continue;
        }
        if (c != '\\' || i + 1 == value.size()) {
            plain += c;
            continue;
        }
        flush();
        const char e = value.at(++i);
        char32_t code = 0;
        switch (e) {
        case 'a': code = '\a'; break;
        case 'b': code = '\b'; break;
        case 'f': code = '\f'; break;
        case 'n': code = '\n'; break;
        case 'r': code = '\r'; break;
        case 't': code = '\t'; break;
        case 'v': code = '\v'; break;
        case 'x':
            while (i + 1 < value.size() && HexValue(value.at(i + 1)) >= 0)
                code = (code * 16 + char32_t(HexValue(value.at(++i)))) & 0xFFFF;
            break;
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
            code = char32_t(e - '0');
            while (i + 1 < value.size() && value.at(i + 1) >= '0' && value.at(i + 1) <= '7')
                code = (code * 8 + char32_t(value.at(++i) - '0')) & 0xFFFF;
            break;
        default: code = char32_t(uchar(e)); break;
        }
        current += QChar(char16_t(code));
        keepTo = current.size();
    }
    endPart();
    if (list)
        return parts;
    const QString text = parts.value(0);
    if (!text.startsWith(u'@'))
        return text;
    if (text.startsWith(QLatin1String("@@")))
        return text.mid(1);
    if (text.endsWith(u')')) {
        for (const QLatin1String kind : {QLatin1String("@ByteArray("), QLatin1String("@String(")})
            if (text.startsWith(kind))
                return text.mid(kind.size(), text.size() - kind.size() - 1);
        // @Invalid() is no value; the other kinds of QSettings are none this program stores.
        for (const char* kind : {"@Invalid(", "@Variant(", "@DateTime(", "@Rect(", "@Size(", "@Point("})
            if (text.startsWith(QLatin1String(kind)))
                return QVariant();
    }
    return text; // what does not parse as a kind reads as the text it is
}

// The keys and values of an INI file ("key", or "section/key"); a line that is none of a
// section, a key and value, a comment or blank is passed over.
QVariantMap IniValues(QByteArrayView bytes) {
    QVariantMap values;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QString section;
    while (!bytes.isEmpty()) {
        qsizetype end = 0;
        while (end < bytes.size() && bytes.at(end) != '\n' && bytes.at(end) != '\r')
            ++end;
        QByteArrayView line = bytes.first(end).trimmed();
        bytes = bytes.sliced(std::min(end + 1, bytes.size()));
        if (line.isEmpty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const qsizetype close = line.indexOf(']');
            const QByteArrayView name = line.sliced(1, (close < 0 ? line.size() : close) - 1);
            if (name.compare("general", Qt::CaseInsensitive) == 0)
                section.clear();
            else if (name.compare("%general", Qt::CaseInsensitive) == 0)
                section = QStringLiteral("General");
            else
                section = KeyFromIni(name);
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        const QString key = KeyFromIni(line.first(equals).trimmed());
        const QVariant value = ValueFromIni(line.sliced(equals + 1));
        if (!key.isEmpty() && value.isValid())
            values.insert(section.isEmpty() ? key : section + u'/' + key, value);
    }
    return values;
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
    QByteArray bytes;
    switch (ReadOwnFile(path, kMaxFileSize, &bytes)) {
    case OwnFile::Regular: break;
    case OwnFile::Missing: return {};
    case OwnFile::Folder:
    case OwnFile::Foreign:
    case OwnFile::TooLarge:
    case OwnFile::Unreadable:
        // Not read: set aside, so that the first write puts a sound file in its place.
        if (!SetAside(path))
            qWarning("Pellora: could not set the settings file %s aside", qUtf8Printable(path));
        return {};
    }
    // What cannot be parsed is left out (a hand-edited or damaged file), and the next write
    // replaces the file with what could be read.
    return IniValues(bytes);
}

void WriteStoredSettings(const QString& company, const QString& application, const QVariantMap& values) {
    const QString path = StoredSettingsLocation(company, application);
    // The folder made for the file is private; one that is there is left as it is.
    if (!MakePrivatePath(QFileInfo(path).path()))
        throw Error(ErrorNumber::PathFileAccess, QStringLiteral("Can't store the settings in %1.").arg(path));
    // What stands in the file's place and is no file of the user's own is set aside first; when
    // it cannot be, it is kept, and nothing is written.
    switch (ReadOwnFile(path, kMaxFileSize, nullptr)) {
    case OwnFile::Folder:
    case OwnFile::Foreign:
    case OwnFile::TooLarge:
        if (!SetAside(path))
            throw Error(ErrorNumber::PathFileAccess, QStringLiteral("Can't set %1 aside.").arg(path));
        break;
    default: break;
    }
    WriteWholeFile(path, IniFile(values));
}

} // namespace pellora::platform
