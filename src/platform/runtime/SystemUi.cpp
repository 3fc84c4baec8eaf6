// The real message boxes, clock and form services.

#include "platform/runtime/App.h"
#include "platform/runtime/SystemServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>

namespace pellora::platform {

namespace {

// Texts carry CR LF line breaks; Qt's labels want LF.
QString ForDisplay(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

class SystemMessageBoxes : public MessageBoxes {
public:
    int Show(const QString& text, int style, const QString& title, const QString& detail) override {
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
        const int icon = style & 0x70;
        box.setIcon(icon == MsgBoxStyle::Critical ? QMessageBox::Critical
                    : icon == 32                  ? QMessageBox::Question
                    : icon == 48                  ? QMessageBox::Warning
                    : icon == 64                  ? QMessageBox::Information
                                                  : QMessageBox::NoIcon);
        if ((style & 0xF) == MsgBoxStyle::RetryCancel) {
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
        default: return (style & 0xF) == MsgBoxStyle::RetryCancel ? MsgBoxResult::Cancel : MsgBoxResult::OK;
        }
    }
};

class SystemClock : public Clock {
public:
    QDateTime Now() override {
        QDateTime now = QDateTime::currentDateTime();
        now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
        return now;
    }
};

class SystemFormHelper : public FormHelper {
public:
    void ShowAbout(QWidget* owner, const AppObject& app, const QString& extra, const QPixmap* picture,
                   const QString& dedication) override {
        QDialog dialog(owner);
        dialog.setWindowTitle(QStringLiteral("About %1").arg(app.Title));
        dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint);
        auto* grid = new QGridLayout(&dialog);
        grid->setSizeConstraint(QLayout::SetFixedSize);
        auto* icon = new QLabel(&dialog);
        icon->setPixmap(picture != nullptr && !picture->isNull() ? *picture
                                                                 : QApplication::windowIcon().pixmap(32, 32));
        icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        grid->addWidget(icon, 0, 0, 5, 1);
        int row = 0;
        auto addLine = [&](const QString& text, bool bold = false) {
            if (text.isEmpty())
                return;
            auto* label = new QLabel(text, &dialog);
            label->setTextFormat(Qt::PlainText);
            label->setObjectName(QStringLiteral("aboutLine%1").arg(row));
            if (bold) {
                QFont font = label->font();
                font.setBold(true);
                label->setFont(font);
            }
            grid->addWidget(label, row++, 1);
        };
        addLine(app.Title, true);
        addLine(QStringLiteral("Version %1").arg(app.VersionText()));
        addLine(app.FileDescription);
        addLine(QStringLiteral("\u00A9 %1").arg(app.CompanyName));
        addLine(extra);
        addLine(dedication);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        grid->addWidget(buttons, row, 0, 1, 2);
        dialog.setWindowModality(Qt::WindowModal);
        dialog.exec();
    }

    void PressButton(QAbstractButton* button) override {
        if (button != nullptr && button->isEnabled())
            button->click();
    }
};

} // namespace

std::shared_ptr<MessageBoxes> CreateSystemMessageBoxes() { return std::make_shared<SystemMessageBoxes>(); }
std::shared_ptr<Clock> CreateSystemClock() { return std::make_shared<SystemClock>(); }
std::shared_ptr<FormHelper> CreateSystemFormHelper() { return std::make_shared<SystemFormHelper>(); }

} // namespace pellora::platform
