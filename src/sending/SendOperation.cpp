#include "sending/SendOperation.h"

#include "archive/LocalCopy.h"
#include "platform/runtime/Services.h"
#include "sending/Delivery.h"

namespace pellora::sending {

SendOutcome Send(const MessageTexts& texts, const SendContext& context) {
    if (texts.From.isEmpty() || texts.To.isEmpty() || texts.Computer.isEmpty() || texts.Message.isEmpty())
        return {SendResult::InputRefused, QStringLiteral("The nature don't like emptiness."), QString()};
    state::RecordNames(context.histories, texts.From, texts.To, texts.Computer);
    const DeliveryOutcome delivery = Deliver(texts.From, texts.To, texts.Computer, texts.Message);
    if (delivery.result != DeliveryResult::Delivered)
        return {SendResult::NotDelivered, delivery.errorText, QString()};
    // The last failed write, and whether the copy was given up after it (an answer that throws
    // gives it up too).
    SendOutcome outcome;
    archive::SaveLocalCopy(context.values.DataPath, context.values.UseTempFilePrefix, texts.From, texts.To,
                           texts.Computer, platform::clock().Now(), texts.Message,
                           [&](const QString& text, const Error& failure) {
                               outcome = {SendResult::CopyNotSaved, text, failure.description()};
                               if (!context.askRetry || !context.askRetry(text, failure))
                                   return false;
                               outcome = SendOutcome{};
                               return true;
                           });
    return outcome;
}

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
    const SendOutcome outcome =
        Send(window_.ReadTexts(), {histories_, values_, [this](const QString& text, const Error& failure) {
                                       return window_.AskRetry(text, failure);
                                   }});
    switch (outcome.result) {
    case SendResult::InputRefused:
    case SendResult::NotDelivered: window_.ShowError(outcome.text); return;
    case SendResult::Delivered:
    case SendResult::CopyNotSaved: window_.RequestClose(); return;
    }
}

} // namespace pellora::sending
