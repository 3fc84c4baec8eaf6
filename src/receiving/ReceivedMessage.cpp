#include "receiving/ReceivedMessage.h"

#include "platform/support/OemText.h"

#include <QRegularExpression>

namespace pellora::receiving {

QString VisibleControls(const QString& text, bool keepLineBreaks) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (keepLineBreaks && (u == u'\r' || u == u'\n' || u == u'\t'))
            out.append(c);
        else if (u < 0x20)
            out.append(QChar(char16_t(0x2400 + u)));
        else if (u == 0x7F)
            out.append(QChar(char16_t(0x2421)));
        else if (u >= 0x80 && u <= 0x9F)
            out.append(QChar(char16_t(0xFFFD)));
        else
            out.append(c);
    }
    return out;
}

QString NameText(const platform::netbios::Name& name) {
    QByteArray base = name.bytes.left(15);
    while (base.endsWith(' ') || base.endsWith('\0'))
        base.chop(1);
    return VisibleControls(platform::SystemOemToText(base), false);
}

QString ThisComputerName(const QString& hostName) { return hostName.section(u'.', 0, 0).toUpper().left(15); }

bool AddressedToThisComputer(const platform::netbios::Name& destination, const QString& thisComputer,
                             const QString& workgroup) {
    QByteArray base = destination.bytes.left(15);
    while (base.endsWith(' ') || base.endsWith('\0'))
        base.chop(1);
    if (base == "*")
        return true;
    const QString name = platform::SystemOemToText(base);
    return (!thisComputer.isEmpty() && name.compare(thisComputer, Qt::CaseInsensitive) == 0) ||
           (!workgroup.isEmpty() && name.compare(workgroup, Qt::CaseInsensitive) == 0);
}

QString ComputerText(const QString& claimedName, std::uint32_t claimedAddress, std::uint32_t realAddress,
                     const QString& thisComputer, bool fromThisComputer) {
    QString text = (claimedName.isEmpty() ? QStringLiteral("(no name)") : claimedName) + QStringLiteral(" at ") +
                   AddressText(realAddress);
    if (claimedAddress != realAddress)
        text += QStringLiteral(" (claims ") + AddressText(claimedAddress) + u')';
    if (!fromThisComputer && !thisComputer.isEmpty() && claimedName.compare(thisComputer, Qt::CaseInsensitive) == 0)
        text += QStringLiteral(" (not this computer, though it uses its name)");
    return text;
}

QString ReplyComputer(const QString& computerText) {
    // Anchored at the end, where the receiver's own words are: the name before them is the sender's.
    static const QRegularExpression kAt(
        QStringLiteral(" at (\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})(?: \\(claims [0-9.]+\\))?"
                       "(?: \\(not this computer, though it uses its name\\))?$"));
    const QRegularExpressionMatch match = kAt.match(computerText);
    if (match.hasMatch())
        return match.captured(1);
    return QString();
}

ReceivedMessage MessageFromDatagram(const platform::netbios::MessengerDatagram& datagram, std::uint32_t realAddress,
                                    bool fromThisComputer, const QString& thisComputer, const QDateTime& received) {
    ReceivedMessage message;
    message.received = received;
    message.from = VisibleControls(platform::SystemOemToText(datagram.from), false);
    message.to = VisibleControls(platform::SystemOemToText(datagram.to), false);
    message.computer = ComputerText(NameText(datagram.sourceName), datagram.sourceAddress, realAddress, thisComputer,
                                    fromThisComputer);
    message.text = platform::SystemOemToText(datagram.text);
    return message;
}

qint64 MessageBytes(const ReceivedMessage& message) {
    return 2 * (message.from.size() + message.to.size() + message.computer.size() + message.text.size() +
                message.file.size()) +
           128;
}

} // namespace pellora::receiving
