#pragma once

// The OEM code page on a Unix system: which Windows OEM code page goes with the user's locale,
// and the conversion of a text into it through iconv.

#include <QByteArray>
#include <QString>

namespace pellora::platform::oem {

// The Windows OEM code page that Windows pairs with `locale` (a POSIX locale name such as
// "de_DE.UTF-8", "sr_RS@latin" or "C"). Looks up language_TERRITORY, then language; the
// C/POSIX locale and every unknown locale give 437.
int CodePageForLocale(const QString& locale);

// The locale that decides the OEM code page: the first non-empty of LC_ALL, LC_CTYPE, LANG.
QString CurrentLocaleName();

// The OEM code page of this process (from CurrentLocaleName()).
int CurrentCodePage();

// `text` in OEM code page `codePage`: one byte per character in the single-byte pages, a
// character the page lacks becomes '?' (0x3F). Throws pellora::Error when the system cannot
// convert into that page at all.
QByteArray ToCodePage(const QString& text, int codePage);

// `bytes` in OEM code page `codePage` as text: bytes below 0x20 are the same control characters
// in every page, a byte or sequence the page does not define becomes U+FFFD. Throws
// pellora::Error when the system cannot convert from that page at all.
QString FromCodePage(const QByteArray& bytes, int codePage);

} // namespace pellora::platform::oem
