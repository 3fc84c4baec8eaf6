#include "platform/mailslot/MailslotPath.h"

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

} // namespace pellora::platform
