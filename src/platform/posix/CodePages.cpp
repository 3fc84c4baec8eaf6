#include "platform/posix/CodePages.h"

#include "platform/runtime/Error.h"

#include <QHash>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

namespace pellora::platform::oem {

namespace {

// Windows' pairing of locales with OEM code pages. Keys are "language_TERRITORY",
// "language@modifier" or "language".
const QHash<QString, int>& Table() {
    static const QHash<QString, int> table = [] {
        QHash<QString, int> t;
        auto add = [&t](int page, std::initializer_list<const char*> keys) {
            for (const char* key : keys)
                t.insert(QString::fromLatin1(key), page);
        };
        add(437, {"en", "en_US", "en_IN", "en_PH", "en_SG", "en_ZA"});
        add(850, {"de", "fr", "es", "it", "pt", "nl", "sv", "da", "nb", "nn",
                  "fi", "is", "ca", "eu", "gl", "ga", "cy", "af", "id", "ms"});
        add(852, {"cs", "sk", "pl", "hu", "ro", "hr", "sl", "sq", "bs", "sr@latin"});
        add(855, {"sr"});
        add(857, {"tr", "az"});
        add(866, {"ru", "uk", "be", "bg", "kk", "ky", "mk", "mn", "tt"});
        add(775, {"et", "lt", "lv"});
        add(737, {"el"});
        add(862, {"he"});
        add(720, {"ar", "fa"});
        add(874, {"th"});
        add(932, {"ja"});
        add(936, {"zh_CN", "zh_SG"});
        add(949, {"ko"});
        add(950, {"zh_TW", "zh_HK", "zh_MO"});
        return t;
    }();
    return table;
}

// CP 720 (Arabic, DOS), which glibc's iconv lacks: the upper half, 0 where undefined.
constexpr std::array<char16_t, 128> kCp720High = {
    0,      0,      0x00E9, 0x00E2, 0,      0x00E0, 0,      0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0,      0,      0,      0,      0x0651, 0x0652, 0x00F4, 0x00A4, 0x0640, 0x00FB, 0x00F9, 0x0621, 0x0622,
    0x0623, 0x0624, 0x00A3, 0x0625, 0x0626, 0x0627, 0x0628, 0x0629, 0x062A, 0x062B, 0x062C, 0x062D, 0x062E,
    0x062F, 0x0630, 0x0631, 0x0632, 0x0633, 0x0634, 0x0635, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x0636, 0x0637, 0x0638, 0x0639, 0x063A, 0x0641, 0x00B5, 0x0642,
    0x0643, 0x0644, 0x0645, 0x0646, 0x0647, 0x0648, 0x0649, 0x064A, 0x2261, 0x064B, 0x064C, 0x064D, 0x064E,
    0x064F, 0x0650, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

QByteArray ToCp720(const QString& text) {
    QByteArray out;
    const QList<uint> codePoints = text.toUcs4();
    out.reserve(codePoints.size());
    for (uint c : codePoints) {
        if (c < 0x80) {
            out.append(static_cast<char>(c));
            continue;
        }
        char byte = '?';
        for (std::size_t i = 0; i < kCp720High.size(); ++i) {
            if (kCp720High[i] != 0 && kCp720High[i] == c) {
                byte = static_cast<char>(0x80 + i);
                break;
            }
        }
        out.append(byte);
    }
    return out;
}

class Iconv {
public:
    explicit Iconv(const char* to) : cd_(iconv_open(to, "UTF-32LE")) {}
    ~Iconv() {
        if (valid())
            iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Appends one code point's bytes to `out`; false when the page lacks it.
    bool Convert(uint codePoint, QByteArray& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr); // initial shift state
        char in[4] = {static_cast<char>(codePoint & 0xFF), static_cast<char>((codePoint >> 8) & 0xFF),
                      static_cast<char>((codePoint >> 16) & 0xFF), static_cast<char>((codePoint >> 24) & 0xFF)};
        char buffer[16];
        char* inPtr = in;
        std::size_t inLeft = sizeof in;
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
            return false;
        // A stateful page may need its closing shift sequence.
        if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            return false;
        const auto produced = static_cast<qsizetype>(sizeof buffer - outLeft);
        if (produced == 0)
            return false;
        out.append(buffer, produced);
        return true;
    }

private:
    iconv_t cd_;
};

} // namespace

int CodePageForLocale(const QString& locale) {
    // language[_TERRITORY][.codeset][@modifier]
    QString name = locale.trimmed();
    QString modifier;
    if (const qsizetype at = name.indexOf(u'@'); at >= 0) {
        modifier = name.mid(at + 1);
        name.truncate(at);
    }
    if (const qsizetype dot = name.indexOf(u'.'); dot >= 0)
        name.truncate(dot);
    if (name.isEmpty() || name == u"C" || name == u"POSIX")
        return 437;
    QString language = name;
    QString territory;
    if (const qsizetype underscore = name.indexOf(u'_'); underscore >= 0) {
        language = name.left(underscore);
        territory = name.mid(underscore + 1);
    }
    const auto& table = Table();
    if (!modifier.isEmpty()) {
        if (auto it = table.find(language + u'@' + modifier); it != table.end())
            return it.value();
    }
    if (!territory.isEmpty()) {
        if (auto it = table.find(language + u'_' + territory); it != table.end())
            return it.value();
        if (language == u"en")
            return 850; // every English locale not named in the table
    }
    if (auto it = table.find(language); it != table.end())
        return it.value();
    return 437;
}

QString CurrentLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return QString::fromLocal8Bit(value);
    }
    return QStringLiteral("C");
}

int CurrentCodePage() { return CodePageForLocale(CurrentLocaleName()); }

QByteArray ToCodePage(const QString& text, int codePage) {
    if (codePage == 720)
        return ToCp720(text);
    const QByteArray pageName = "CP" + QByteArray::number(codePage);
    Iconv converter(pageName.constData());
    if (!converter.valid())
        throw Error(ErrorNumber::InvalidProcedureCall,
                    QStringLiteral("The system cannot convert text to code page %1.").arg(codePage));
    QByteArray out;
    const QList<uint> codePoints = text.toUcs4();
    out.reserve(codePoints.size());
    for (uint c : codePoints) {
        // Control characters, CR, LF and TAB among them, are the same in every OEM page.
        if (c < 0x20) {
            out.append(static_cast<char>(c));
            continue;
        }
        if (!converter.Convert(c, out))
            out.append('?');
    }
    return out;
}

namespace {

// Appends the text of `run` (no byte below 0x20) in `page` to `out`, U+FFFD for what the page
// does not define.
void AppendFromPage(iconv_t converter, const char* run, std::size_t size, QString& out) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr); // initial shift state
    char* in = const_cast<char*>(run);
    std::size_t inLeft = size;
    while (inLeft > 0) {
        char buffer[256];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        const std::size_t produced = sizeof buffer - outLeft;
        for (std::size_t i = 0; i + 4 <= produced; i += 4) {
            const char32_t c = static_cast<unsigned char>(buffer[i]) |
                               (static_cast<unsigned char>(buffer[i + 1]) << 8) |
                               (static_cast<unsigned char>(buffer[i + 2]) << 16) |
                               (char32_t(static_cast<unsigned char>(buffer[i + 3])) << 24);
            out.append(QString::fromUcs4(&c, 1));
        }
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An undefined byte, or a sequence cut short: one replacement, then on after it.
            out.append(QChar(0xFFFD));
            ++in;
            --inLeft;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

} // namespace

QString FromCodePage(const QByteArray& bytes, int codePage) {
    QString out;
    out.reserve(bytes.size());
    if (codePage == 720) {
        for (const char byte : bytes) {
            const auto value = static_cast<unsigned char>(byte);
            const char16_t c = value < 0x80 ? value : kCp720High[value - 0x80];
            out.append(QChar(c == 0 && value >= 0x80 ? char16_t(0xFFFD) : c));
        }
        return out;
    }
    const QByteArray pageName = "CP" + QByteArray::number(codePage);
    const iconv_t converter = iconv_open("UTF-32LE", pageName.constData());
    if (converter == reinterpret_cast<iconv_t>(-1))
        throw Error(ErrorNumber::InvalidProcedureCall,
                    QStringLiteral("The system cannot convert text from code page %1.").arg(codePage));
    qsizetype start = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && static_cast<unsigned char>(bytes[i]) >= 0x20)
            continue;
        if (i > start)
            AppendFromPage(converter, bytes.constData() + start, static_cast<std::size_t>(i - start), out);
        if (i < bytes.size())
            out.append(QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]))));
        start = i + 1;
    }
    iconv_close(converter);
    return out;
}

} // namespace pellora::platform::oem
