#pragma once

#include <QDialog>

#include "platform/window/Form.h"
#include "state/AppValues.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace pellora {

// The settings dialog: one option, the "~$" prefix of local copy names, kept in `values`.
class frmSettings : public QDialog {
    Q_OBJECT
public:
    explicit frmSettings(AppValues& values, QWidget* parent = nullptr);

    // Runs the load handler; called before the dialog is shown.
    void Load();

    QGroupBox* fraMisc = nullptr;
    QCheckBox* chkTempFilePrefix = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

    void Form_Load();
    void cmdOk_Click();
    void cmdCancel_Click();

private:
    AppValues& values_;
    // The window runtime: handlers counted and guarded, Enter and Escape on the dialog's buttons.
    platform::Form runtime_;
    // Names and descriptions for screen readers.
    void SetAccessibleNames();
};

} // namespace pellora
