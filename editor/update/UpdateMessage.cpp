#include "editor/update/UpdateMessage.h"

namespace valvora {

UpdateMessage UpdateMessage::forVersion(std::int32_t version) noexcept
{
    if (version == 0) return {"Couldn't retreive update information at this moment", MessageStyle::Warning};
    if (version == ownVersion) return {"You are already using the latest version", MessageStyle::Information};
    // Any difference counts, older included: the server's word is the current one.
    return {"New version is available. Proceed to download page?", MessageStyle::Question};
}

}  // namespace valvora
