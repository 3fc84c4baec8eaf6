#include "platform/support/Shell.h"

#include "platform/runtime/Services.h"

namespace pellora::platform {

Shell& shell() { return EnsureService(services().shell, CreateSystemShell); }

} // namespace pellora::platform
