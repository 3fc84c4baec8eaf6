#include "ui/frmSettings.h"

#include "platform/window/WindowSupport.h"
#include "ui/Appearance.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPixmap>
#include <QPushButton>

namespace pellora {

frmSettings::frmSettings(AppValues& values, QWidget* parent) : QDialog(parent), values_(values), runtime_(*this, {}) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(ui::FormFont());
    setFixedSize(ui::Twips(6015), ui::Twips(1515));
    setModal(true);

    fraMisc = new QGroupBox(QStringLiteral(" Misc "), this);
    fraMisc->setObjectName(QStringLiteral("fraMisc"));
    fraMisc->setGeometry(ui::Twips(120), ui::Twips(60), ui::Twips(5775), ui::Twips(735));
    fraMisc->setFocusPolicy(Qt::NoFocus);

    chkTempFilePrefix = new QCheckBox(QStringLiteral("Use \"~$\" prefix for TXT files"), fraMisc);
    chkTempFilePrefix->setObjectName(QStringLiteral("chkTempFilePrefix"));
    chkTempFilePrefix->setGeometry(ui::Twips(180), ui::Twips(300), ui::Twips(2715), ui::Twips(255));
    chkTempFilePrefix->setCheckState(Qt::Unchecked);

    cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(ui::Twips(3000), ui::Twips(960), ui::Twips(1395), ui::Twips(435));
    cmdOk->setDefault(true);

    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(ui::Twips(4500), ui::Twips(960), ui::Twips(1395), ui::Twips(435));
    // Enter clicks Ok unless another button has the focus: a focused Cancel takes Enter itself.
    cmdCancel->setAutoDefault(true);
    runtime_.SetCancelButton(cmdCancel);

    setTabOrder(chkTempFilePrefix, cmdOk);
    setTabOrder(cmdOk, cmdCancel);
    chkTempFilePrefix->setFocus(Qt::OtherFocusReason);

    connect(cmdOk, &QPushButton::clicked, this, [this] { runtime_.Handle([this] { cmdOk_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { runtime_.Handle([this] { cmdCancel_Click(); }); });
    SetAccessibleNames();
}

void frmSettings::SetAccessibleNames() {
    setAccessibleDescription(QStringLiteral("Pellora's settings"));
    fraMisc->setAccessibleName(QStringLiteral("Misc"));
    fraMisc->setAccessibleDescription(QStringLiteral("Other settings"));
    chkTempFilePrefix->setAccessibleName(QStringLiteral("Use \"~$\" prefix for TXT files"));
    chkTempFilePrefix->setAccessibleDescription(
        QStringLiteral("Start the names of the local copies of sent messages with \"~$\""));
    cmdOk->setAccessibleName(QStringLiteral("Ok"));
    cmdOk->setAccessibleDescription(QStringLiteral("Keep the setting and close the dialog"));
    cmdCancel->setAccessibleName(QStringLiteral("Cancel"));
    cmdCancel->setAccessibleDescription(QStringLiteral("Close the dialog without changing the setting"));
}

void frmSettings::Load() { Form_Load(); }

void frmSettings::Form_Load() {
    ksCenterFormEx(this);
    // No icon: an empty one, as a window without an icon would otherwise show the application's.
    QPixmap none(16, 16);
    none.fill(Qt::transparent);
    setWindowIcon(QIcon(none));
    chkTempFilePrefix->setCheckState(values_.UseTempFilePrefix ? Qt::Checked : Qt::Unchecked);
}

void frmSettings::cmdOk_Click() {
    values_.UseTempFilePrefix = chkTempFilePrefix->checkState() == Qt::Checked;
    done(QDialog::Accepted);
}

void frmSettings::cmdCancel_Click() { done(QDialog::Rejected); }

} // namespace pellora
