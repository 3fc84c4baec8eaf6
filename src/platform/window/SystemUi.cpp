// The real message boxes and pick menus.

#include "platform/window/WindowServices.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>

namespace pellora::platform {

namespace {

// A run of this many characters without a blank is broken anywhere rather than at blanks only.
constexpr int kLongestUnbrokenRun = 40;

// Texts carry CR LF line breaks; Qt's labels want LF. A label wraps at blanks only, and a long
// path or name (a computer name of 255 characters) would make the box as wide as the screen and
// cut the rest off: within such a run every character may end a line (a zero-width space after
// each), so that the whole text shows, wrapped to the box's usual width.
QString ForDisplay(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QString shown;
    shown.reserve(text.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text[i].isSpace())
            continue;
        const QStringView run = QStringView(text).mid(runStart, i - runStart);
        if (run.size() > kLongestUnbrokenRun) {
            for (const QChar c : run) {
                shown += c;
                if (!c.isHighSurrogate())
                    shown += QChar(0x200B);
            }
        } else {
            shown += run;
        }
        if (i < text.size())
            shown += text[i];
        runStart = i + 1;
    }
    return shown;
}

class SystemMessageBoxes : public MessageBoxes {
public:
    MsgBoxResult Show(const QString& text, MsgBoxStyle style, const QString& title, const QString& detail) override {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(title);
        box.setText(ForDisplay(text));
        box.setTextFormat(Qt::PlainText);
        if (!detail.isEmpty())
            box.setInformativeText(ForDisplay(detail));
        // Texts carry paths and names from outside; none is markup. QMessageBox guesses the
        // format of its informative text and opens its links, so every label is set plain.
        for (QLabel* label : box.findChildren<QLabel*>()) {
            label->setTextFormat(Qt::PlainText);
            label->setOpenExternalLinks(false);
        }
        const MsgBoxStyle icon = IconOf(style);
        box.setIcon(icon == MsgBoxStyle::Critical      ? QMessageBox::Critical
                    : icon == MsgBoxStyle::Question    ? QMessageBox::Question
                    : icon == MsgBoxStyle::Exclamation ? QMessageBox::Warning
                    : icon == MsgBoxStyle::Information ? QMessageBox::Information
                                                       : QMessageBox::NoIcon);
        if (ButtonsOf(style) == MsgBoxStyle::RetryCancel) {
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Retry);
            box.setEscapeButton(QMessageBox::Cancel);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        const int answer = box.exec();
        switch (answer) {
        case QMessageBox::Retry: return MsgBoxResult::Retry;
        case QMessageBox::Cancel: return MsgBoxResult::Cancel;
        default: return ButtonsOf(style) == MsgBoxStyle::RetryCancel ? MsgBoxResult::Cancel : MsgBoxResult::OK;
        }
    }
};

// Menu items are cut to about this many average characters.
constexpr int kMenuTextChars = 60;

// What a menu item shows for a text: control characters as their visible symbols (a tab
// would otherwise open the shortcut column), long texts shortened in the middle, and every
// '&' doubled so that it shows as itself rather than marking a mnemonic.
QString MenuText(const QString& item, const QFontMetrics& metrics) {
    QString shown = item;
    for (QChar& c : shown) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7F)
            c = QChar(0x2421);
        else if (c.unicode() == 0x2028 || c.unicode() == 0x2029)
            c = QChar(0x2424);
    }
    shown = metrics.elidedText(shown, Qt::ElideMiddle, metrics.averageCharWidth() * kMenuTextChars);
    shown.replace(u'&', QLatin1String("&&"));
    return shown;
}

class SystemPickMenus : public PickMenus {
public:
    int Pick(QWidget* anchor, const QStringList& items) override {
        // No parent: the menu must not go down with the anchor while it is open.
        QMenu menu;
        const QFontMetrics metrics(menu.font());
        if (items.isEmpty()) {
            menu.addAction(QStringLiteral("(empty)"))->setEnabled(false);
        } else {
            for (qsizetype i = 0; i < items.size(); ++i)
                menu.addAction(MenuText(items.at(i), metrics))->setData(i);
        }
        const QAction* chosen = menu.exec(anchor->mapToGlobal(QPoint(0, anchor->height())));
        if (chosen == nullptr || !chosen->isEnabled())
            return -1;
        bool ok = false;
        const qsizetype index = chosen->data().toLongLong(&ok);
        if (!ok || index < 0 || index >= items.size())
            return -1;
        return int(index);
    }
};

} // namespace

std::shared_ptr<MessageBoxes> CreateSystemMessageBoxes() { return std::make_shared<SystemMessageBoxes>(); }
std::shared_ptr<PickMenus> CreateSystemPickMenus() { return std::make_shared<SystemPickMenus>(); }

PickMenus& pickMenus() {
    static const std::shared_ptr<PickMenus> menus = CreateSystemPickMenus();
    return *menus;
}

void UseWindowServices() { SetSystemMessageBoxes(CreateSystemMessageBoxes); }

} // namespace pellora::platform
