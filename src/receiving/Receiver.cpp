#include "receiving/Receiver.h"

#include "archive/LocalCopy.h"
#include "platform/netbios/MessengerDatagram.h"
#include "platform/runtime/Error.h"
#include "receiving/ReceivedFolder.h"

#include <QFileInfo>

#include <exception>
#include <tuple>

namespace pellora::receiving {

Receiver::Receiver(QString folder, StoreBounds bounds, QString thisComputer, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), store_(bounds), thisComputer_(std::move(thisComputer)) {}

void Receiver::Keep(ReceivedMessage message) {
    for (const ReceivedMessage& gone : store_.Add(std::move(message)))
        RemoveReceivedFile(folder_, gone.file);
}

void Receiver::LoadSaved() {
    try {
        for (ReceivedMessage& message : LoadReceivedMessages(folder_)) {
            std::tie(lastStamp_, lastNumber_) = MessageFileStamp(QFileInfo(message.file).fileName());
            Keep(std::move(message));
        }
    } catch (const std::exception& error) {
        saveError_ = QString::fromLocal8Bit(error.what());
    }
}

void Receiver::Add(ReceivedMessage message) {
    try {
        // The messages of one second numbered on, as the local copies' names are, without trying
        // every name taken before in that second.
        const QString stamp = MessageFileStamp(archive::LocalCopyFileName(message.received, false)).first;
        lastNumber_ = stamp == lastStamp_ ? lastNumber_ + 1 : 1;
        lastStamp_ = stamp;
        message.file = SaveReceivedMessage(folder_, message, lastNumber_);
    } catch (const Error& error) {
        ++notSaved_;
        saveError_ = error.description();
    }
    Keep(std::move(message));
    emit MessageAdded();
}

void Receiver::Take(const QByteArray& payload, std::uint32_t sourceAddress, bool fromThisComputer, const QDateTime& now,
                    bool broadcast) {
    try {
        const platform::netbios::ParsedDatagram parsed = platform::netbios::ParseMessengerDatagram(payload);
        if (parsed.kind == platform::netbios::DatagramKind::Malformed) {
            ++malformed_;
            emit MalformedDropped();
            return;
        }
        if (!parsed.message)
            return;
        if (broadcast && !AddressedToThisComputer(parsed.message->destinationName, thisComputer_, workgroup_) &&
            !AddressedToThisComputer(parsed.message->destinationName, sambaName_, QString()))
            return;
        Add(MessageFromDatagram(*parsed.message, sourceAddress, fromThisComputer, thisComputer_, now));
    } catch (const std::exception& error) {
        ++notSaved_;
        saveError_ = QString::fromLocal8Bit(error.what());
    }
}

void Receiver::Take(const platform::IncomingDatagram& incoming, const QDateTime& now) {
    if (!incoming.dataOnly) {
        Take(incoming.payload, incoming.sourceAddress, incoming.fromThisComputer, now, incoming.broadcast);
        return;
    }
    try {
        const platform::netbios::ParsedDatagram parsed = platform::netbios::ParseMessengerData(incoming.payload);
        if (!parsed.message) {
            ++malformed_;
            emit MalformedDropped();
            return;
        }
        ReceivedMessage message = MessageFromDatagram(*parsed.message, 0, false, thisComputer_, now);
        message.computer = QStringLiteral("(not known: the system's mailslot does not say)");
        Add(std::move(message));
    } catch (const std::exception& error) {
        ++notSaved_;
        saveError_ = QString::fromLocal8Bit(error.what());
    }
}

} // namespace pellora::receiving
