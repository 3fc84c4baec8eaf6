#pragma once

// The window side of the platform: the real message boxes and pick menus, built on Qt Widgets.
// The platform beneath links Qt Core alone and shows no window; UseWindowServices() names the
// message boxes it shows the program's messages in, the top-level error report's included.

#include "platform/runtime/MsgBox.h"

#include <QStringList>

#include <memory>

class QWidget;

namespace pellora::platform {

// Pop-up menus to pick one text from a list.
class PickMenus {
public:
    virtual ~PickMenus() = default;
    // Shows `items` in a pop-up menu just under `anchor` ("(empty)", disabled, when there are
    // none) and returns the index of the item chosen, or -1 when none was.
    virtual int Pick(QWidget* anchor, const QStringList& items) = 0;
};

PickMenus& pickMenus(); // always the real one

std::shared_ptr<MessageBoxes> CreateSystemMessageBoxes();
std::shared_ptr<PickMenus> CreateSystemPickMenus();

// Makes the real message boxes the ones messageBoxes() gives wherever no test has put its own.
// Called once the application object exists, before the first window; a second call changes
// nothing.
void UseWindowServices();

} // namespace pellora::platform
