#include "platform/mailslot/Mailslots.h"

#include "platform/runtime/Services.h"

namespace pellora::platform {

Mailslots& mailslots() { return EnsureService(services().mailslots, CreateSystemMailslots); }

} // namespace pellora::platform
