#pragma once

// The received messages the receiver keeps: at most a number of them and of bytes, the oldest
// dropped first, with the count of those dropped.

#include "receiving/ReceivedMessage.h"

#include <deque>
#include <vector>

namespace pellora::receiving {

struct StoreBounds {
    int maxMessages = 1000;
    qint64 maxBytes = 4 * 1024 * 1024;
};

class MessageStore {
public:
    explicit MessageStore(StoreBounds bounds);

    // Adds `message` as the newest and drops the oldest until the bounds hold again (a message
    // larger than the byte bound alone is dropped itself). Returns the dropped messages, oldest
    // first, so that their files can go too.
    std::vector<ReceivedMessage> Add(ReceivedMessage message);

    // Oldest first.
    const std::deque<ReceivedMessage>& messages() const { return messages_; }
    qint64 bytes() const { return bytes_; }
    qint64 dropped() const { return dropped_; }
    const StoreBounds& bounds() const { return bounds_; }

private:
    StoreBounds bounds_;
    std::deque<ReceivedMessage> messages_;
    qint64 bytes_ = 0;
    qint64 dropped_ = 0;
};

} // namespace pellora::receiving
