#include "sending/SendOperation.h"

#include "archive/LocalCopy.h"
#include "platform/runtime/Services.h"
#include "sending/Delivery.h"

namespace pellora::sending {

SendOperation::SendOperation(SendWindow& window, state::FieldHistories histories, const AppValues& values)
    : window_(window), histories_(histories), values_(values) {}

void SendOperation::Run() {
    if (running_)
        return;
    running_ = true;
    struct Done {
        bool& running;
        ~Done() { running = false; }
    } done{running_};
    window_.SetInputEnabled(false);
    if (window_.IsUnloaded())
        return;
    SendCurrentMessage();
    window_.SetInputEnabled(true);
}

void SendOperation::SendCurrentMessage() {
    const MessageTexts texts = window_.ReadTexts();
    if (texts.From.isEmpty() || texts.To.isEmpty() || texts.Computer.isEmpty() || texts.Message.isEmpty()) {
        window_.ShowError(QStringLiteral("The nature don't like emptiness."));
        return;
    }
    state::RecordNames(histories_, texts.From, texts.To, texts.Computer);
    const DeliveryOutcome delivery = Deliver(texts.From, texts.To, texts.Computer, texts.Message);
    if (delivery.result != DeliveryResult::Delivered) {
        window_.ShowError(delivery.errorText);
        return;
    }
    SaveLocalCopy(texts.From, texts.To, texts.Computer, platform::clock().Now(), texts.Message);
    window_.RequestClose();
}

void SendOperation::SaveLocalCopy(const QString& from, const QString& to, const QString& computer,
                                  const QDateTime& sent, const QString& message) {
    archive::SaveLocalCopy(
        values_.DataPath, values_.UseTempFilePrefix, from, to, computer, sent, message,
        [this](const QString& text, const Error& failure) { return window_.AskRetry(text, failure); });
}

} // namespace pellora::sending
