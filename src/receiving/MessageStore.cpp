#include "receiving/MessageStore.h"

#include <algorithm>

namespace pellora::receiving {

MessageStore::MessageStore(StoreBounds bounds) : bounds_(bounds) {
    bounds_.maxMessages = std::max(bounds_.maxMessages, 1);
    bounds_.maxBytes = std::max<qint64>(bounds_.maxBytes, 1);
}

std::vector<ReceivedMessage> MessageStore::Add(ReceivedMessage message) {
    bytes_ += MessageBytes(message);
    messages_.push_back(std::move(message));
    std::vector<ReceivedMessage> gone;
    while (!messages_.empty() &&
           (static_cast<qsizetype>(messages_.size()) > bounds_.maxMessages || bytes_ > bounds_.maxBytes)) {
        bytes_ -= MessageBytes(messages_.front());
        gone.push_back(std::move(messages_.front()));
        messages_.pop_front();
        ++dropped_;
    }
    return gone;
}

} // namespace pellora::receiving
