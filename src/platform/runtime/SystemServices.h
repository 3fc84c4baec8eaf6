#pragma once

// The real message boxes, clock and pick menus (SystemUi.cpp); Services.cpp makes them at first use.

#include "platform/runtime/MsgBox.h"
#include "platform/runtime/Services.h"

#include <memory>

namespace pellora::platform {

std::shared_ptr<MessageBoxes> CreateSystemMessageBoxes();
std::shared_ptr<Clock> CreateSystemClock();
std::shared_ptr<PickMenus> CreateSystemPickMenus();

} // namespace pellora::platform
