#include "platform/mailslot/MailslotPath.h"

#include <QStringList>

namespace pellora::platform {

std::optional<MailslotPath> ParseMailslotPath(const QString& path) {
    if (!path.startsWith(QStringLiteral("\\\\")))
        return std::nullopt;
    const QString rest = path.mid(2);
    static const QString marker = QStringLiteral("\\mailslot\\");
    const qsizetype at = rest.lastIndexOf(marker, -1, Qt::CaseInsensitive);
    if (at <= 0)
        return std::nullopt;
    MailslotPath parsed{rest.left(at), rest.mid(at + marker.size())};
    if (parsed.mailslot.isEmpty())
        return std::nullopt;
    return parsed;
}

bool IsUsableComputerName(const QString& computer) {
    if (computer.isEmpty())
        return false;
    if (computer == u"*")
        return true;
    for (const QChar c : computer) {
        switch (c.unicode()) {
        case u'\\':
        case u'/':
        case u':':
        case u'@':
        case u'?':
        case u'*': return false;
        default: break;
        }
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

AddressForm ClassifyAddressText(const QString& computer, std::uint32_t* address) {
    const QStringList parts = computer.split(u'.');
    bool anyDigit = false;
    for (const QString& part : parts) {
        const bool hex = part.size() >= 2 && part[0] == u'0' && (part[1] == u'x' || part[1] == u'X');
        for (qsizetype i = hex ? 2 : 0; i < part.size(); ++i) {
            const char16_t c = part[i].unicode();
            const bool digit = c >= u'0' && c <= u'9';
            if (!digit && !(hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))))
                return AddressForm::NotAnAddress;
        }
        anyDigit = anyDigit || !part.isEmpty();
    }
    if (!anyDigit) // "", ".": no number at all (on Windows "." is this computer)
        return AddressForm::NotAnAddress;
    // By hand, so that no system's reading of the text decides: four parts, each 1 to 3
    // decimal digits, no leading zero, at most 255.
    if (parts.size() != 4)
        return AddressForm::NotCanonical;
    std::uint32_t value = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part[0] == u'0'))
            return AddressForm::NotCanonical;
        unsigned number = 0;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return AddressForm::NotCanonical;
            number = number * 10 + (c.unicode() - u'0');
        }
        if (number > 255)
            return AddressForm::NotCanonical;
        value = (value << 8) | number;
    }
    if (address)
        *address = value;
    return AddressForm::Canonical;
}

QString NonCanonicalAddressReason(const QString& computer) {
    if (ClassifyAddressText(computer) != AddressForm::NotCanonical)
        return QString();
    return QStringLiteral("%1 is not an address this program takes: write an address as four numbers from 0 "
                          "to 255 without leading zeros, such as 10.0.0.7.")
        .arg(computer);
}

} // namespace pellora::platform
