#pragma once

// The receiving core: what comes in on the datagram port becomes a kept, saved message.

#include "platform/support/MessengerPort.h"
#include "receiving/MessageStore.h"

#include <QObject>
#include <QString>

#include <functional>

namespace pellora::receiving {

class Receiver : public QObject {
    Q_OBJECT

public:
    // `folder`: the Received folder (prepared); `thisComputer`: this computer's NetBIOS name.
    Receiver(QString folder, StoreBounds bounds, QString thisComputer, QObject* parent = nullptr);

    // Reads the saved messages back into the store (the oldest beyond the bounds dropped, with
    // their files). Never throws.
    void LoadSaved();

    // One UDP payload from `sourceAddress` (host byte order); `fromThisComputer` when that is an
    // address of this computer. A Messenger message is kept and saved; anything malformed is
    // counted and nothing of it kept; everything else is ignored. Never throws.
    // A datagram that came to a broadcast address (`broadcast`) counts only when it is sent to this
    // computer's name, to the workgroup or to "*".
    void Take(const QByteArray& payload, std::uint32_t sourceAddress, bool fromThisComputer, const QDateTime& now,
              bool broadcast = false);

    // What the port hands over: a datagram as above, or on Windows the mailslot data alone.
    void Take(const platform::IncomingDatagram& incoming, const QDateTime& now);

    // The workgroup whose broadcast datagrams count too (empty: none).
    void SetWorkgroup(const QString& workgroup) { workgroup_ = workgroup; }
    // This computer's name in Samba (smb.conf's "netbios name"), whose broadcast datagrams count
    // too (empty: none).
    void SetSambaName(const QString& name) { sambaName_ = name; }

    const MessageStore& store() const { return store_; }
    qint64 malformed() const { return malformed_; }
    qint64 notSaved() const { return notSaved_; }
    // Why the last message could not be saved; empty when none failed.
    const QString& saveError() const { return saveError_; }
    const QString& folder() const { return folder_; }

signals:
    // A message was added (and maybe older ones dropped).
    void MessageAdded();
    // A malformed datagram was dropped.
    void MalformedDropped();

private:
    void Keep(ReceivedMessage message);
    void Add(ReceivedMessage message);

    QString folder_;
    MessageStore store_;
    QString thisComputer_;
    QString workgroup_;
    QString sambaName_;
    QString lastStamp_; // the second of the last message file, and its number within it
    int lastNumber_ = 0;
    qint64 malformed_ = 0;
    qint64 notSaved_ = 0;
    QString saveError_;
};

} // namespace pellora::receiving
