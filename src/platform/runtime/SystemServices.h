#pragma once

// Factories of the real platform services; Services.cpp calls them at first use.

#include "platform/components/Components.h"
#include "platform/runtime/Services.h"

#include <memory>

namespace pellora::platform {

std::shared_ptr<MessageBoxes> CreateSystemMessageBoxes();
std::shared_ptr<Mailslots> CreateSystemMailslots();
std::shared_ptr<Shell> CreateSystemShell();
std::shared_ptr<Clock> CreateSystemClock();
std::shared_ptr<TextFileWriter> CreateSystemTextFileWriter();
std::shared_ptr<ErrorPrompt> CreateSystemErrorPrompt();
std::shared_ptr<FormHelper> CreateSystemFormHelper();
std::shared_ptr<PickMenus> CreateSystemPickMenus();

} // namespace pellora::platform
