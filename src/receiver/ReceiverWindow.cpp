#include "receiver/ReceiverWindow.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

namespace pellora::receiver {

using receiving::ReceivedMessage;
using receiving::VisibleControls;

namespace {

QString TimeText(const QDateTime& when) { return QLocale::system().toString(when, QLocale::ShortFormat); }

} // namespace

QString FullText(const ReceivedMessage& message) {
    QString text = QStringLiteral("From:     ") + message.from + u'\n' + QStringLiteral("To:       ") + message.to +
                   u'\n' + QStringLiteral("Computer: ") + message.computer + u'\n' + QStringLiteral("Received: ") +
                   TimeText(message.received) + QStringLiteral("\n\n");
    QString body = VisibleControls(message.text, true);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(u'\r', u'\n');
    return text + body;
}

QString ListLine(const ReceivedMessage& message) {
    QString start = VisibleControls(message.text, false).left(60);
    // A computer that is not known is said in parentheses already.
    const QString computer = message.computer.startsWith(u'(') && message.computer.endsWith(u')')
                                 ? message.computer
                                 : u'(' + message.computer + u')';
    return TimeText(message.received) + QStringLiteral("  ") + message.from + QStringLiteral(" → ") + message.to +
           QStringLiteral("  ") + computer + QStringLiteral("  ") + start;
}

ReceiverWindow::ReceiverWindow(receiving::Receiver& receiver, WindowOptions options, QWidget* parent)
    : QWidget(parent), receiver_(receiver), options_(std::move(options)) {
    setWindowTitle(QStringLiteral("Pellora Receiver"));
    setObjectName(QStringLiteral("ReceiverWindow"));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("messages"));
    list_->setAccessibleName(QStringLiteral("Received messages"));
    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("message"));
    view_->setAccessibleName(QStringLiteral("Message"));
    view_->setReadOnly(true);
    view_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    reply_ = new QPushButton(QStringLiteral("&Reply"), this);
    reply_->setObjectName(QStringLiteral("reply"));
    reply_->setEnabled(false);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(list_);
    splitter->addWidget(view_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(reply_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(640, 480);

    connect(list_, &QListWidget::currentRowChanged, this, [this] { ShowSelected(); });
    connect(reply_, &QPushButton::clicked, this, [this] { Reply(); });
    connect(&receiver_, &receiving::Receiver::MessageAdded, this, [this] {
        ++unread_;
        ++announced_;
        ScheduleRefresh();
    });
    connect(&receiver_, &receiving::Receiver::MalformedDropped, this, [this] { ScheduleRefresh(); });

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(QApplication::windowIcon(), this);
        connect(tray_, &QSystemTrayIcon::activated, this, [this] { ShowAndRaise(); });
        connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] { ShowAndRaise(); });
        tray_->show();
    }
    Refresh();
}

void ReceiverWindow::ShowAndRaise() {
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

bool ReceiverWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && unread_ != 0) {
        unread_ = 0;
        UpdateStatus();
    }
    return QWidget::event(event);
}

void ReceiverWindow::ScheduleRefresh() {
    // The messages that arrive in one wake-up are shown together, once.
    if (refreshPending_)
        return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { Refresh(); }, Qt::QueuedConnection);
}

void ReceiverWindow::Refresh() {
    refreshPending_ = false;
    const auto& messages = receiver_.store().messages();
    const int keepRow = list_->currentRow();
    const bool newest = keepRow <= 0;
    list_->clear();
    for (auto it = messages.rbegin(); it != messages.rend(); ++it)
        list_->addItem(ListLine(*it));
    if (!messages.empty())
        list_->setCurrentRow(newest ? 0 : std::min(keepRow, list_->count() - 1));
    ShowSelected();
    UpdateStatus();
    if (announced_ > 0) {
        if (isActiveWindow())
            unread_ = 0;
        Notify();
        if (options_.bringToFront)
            ShowAndRaise();
    }
}

void ReceiverWindow::ShowSelected() {
    const int row = list_->currentRow();
    const auto& messages = receiver_.store().messages();
    if (row < 0 || row >= static_cast<int>(messages.size())) {
        view_->clear();
        reply_->setEnabled(false);
        return;
    }
    view_->setPlainText(FullText(messages[messages.size() - 1 - static_cast<std::size_t>(row)]));
    reply_->setEnabled(true);
}

QStringList ReceiverWindow::ReplyArguments(int row) const {
    const auto& messages = receiver_.store().messages();
    if (row < 0 || row >= static_cast<int>(messages.size()))
        return {};
    const ReceivedMessage& m = messages[messages.size() - 1 - static_cast<std::size_t>(row)];
    return {QStringLiteral("--from"),     m.to,
            QStringLiteral("--to"),       m.from,
            QStringLiteral("--computer"), receiving::ReplyComputer(m.computer)};
}

void ReceiverWindow::Reply() {
    const QStringList arguments = ReplyArguments(list_->currentRow());
    if (arguments.isEmpty())
        return;
    QProcess::startDetached(options_.pellora, arguments);
}

void ReceiverWindow::SetNotice(const QString& notice) {
    options_.notice = notice;
    UpdateStatus();
}

void ReceiverWindow::UpdateStatus() {
    QStringList lines;
    lines << (options_.listening.isEmpty()
                  ? QStringLiteral("Not listening.")
                  : QStringLiteral("Listening on ") + options_.listening.join(QStringLiteral(", ")) + u'.');
    if (!options_.notice.isEmpty())
        lines << options_.notice;
    const auto& store = receiver_.store();
    lines << QStringLiteral("%1 messages kept (at most %2), %3 unread.")
                 .arg(store.messages().size())
                 .arg(store.bounds().maxMessages)
                 .arg(unread_);
    if (store.dropped() > 0)
        lines << QStringLiteral("%1 older messages dropped to stay within the bounds.").arg(store.dropped());
    if (receiver_.malformed() > 0)
        lines << QStringLiteral("%1 malformed datagrams ignored.").arg(receiver_.malformed());
    if (receiver_.notSaved() > 0)
        lines << QStringLiteral("%1 messages could not be saved: %2")
                     .arg(receiver_.notSaved())
                     .arg(receiver_.saveError());
    status_->setText(lines.join(u'\n'));
    const QString title =
        unread_ > 0 ? QStringLiteral("Pellora Receiver (%1 unread)").arg(unread_) : QStringLiteral("Pellora Receiver");
    setWindowTitle(title);
    if (tray_)
        tray_->setToolTip(title);
}

void ReceiverWindow::Notify() {
    const int count = announced_;
    announced_ = 0;
    if (!tray_ || count == 0)
        return;
    const auto& messages = receiver_.store().messages();
    if (count == 1 && !messages.empty()) {
        const ReceivedMessage& m = messages.back();
        tray_->showMessage(QStringLiteral("Message from ") + m.from, VisibleControls(m.text, false).left(200));
    } else {
        tray_->showMessage(QStringLiteral("Pellora Receiver"), QStringLiteral("%1 new messages").arg(count));
    }
}

} // namespace pellora::receiver
