#pragma once
// What the version check tells the user, decided from the version the server
// reports. Shared by every platform so both builds say the same thing.

#include <cstdint>

#include "core/ProductIdentity.h"
#include "plugin/vst24.h"

namespace valvora {

// Values are the Windows message box styles, so the Windows build hands them
// to MessageBoxA unchanged: icon | buttons.
enum class MessageStyle : unsigned {
    Warning = 0x30,      // MB_ICONWARNING | MB_OK
    Information = 0x40,  // MB_ICONINFORMATION | MB_OK
    Question = 0x24,     // MB_ICONQUESTION | MB_YESNO
};

enum class MessageAnswer { Ok, Yes, No };

struct UpdateMessage {
    // The record key in the version file is the unique ID the plug-in reports
    // to the host; the version is compared with the vendor version it reports.
    static constexpr std::int32_t productKey = identity::uniqueId;
    static constexpr std::int32_t ownVersion = identity::vendorVersion;
    static constexpr const char* caption = identity::productName;
    static constexpr const char* agent = identity::productName;

    const char* text;
    MessageStyle style;

    // 0 stands for "no version obtained", whatever the reason.
    static UpdateMessage forVersion(std::int32_t version) noexcept;
    // Only the question leads to the download page, and only on Yes.
    bool opensDownloadPage(MessageAnswer answer) const noexcept
    {
        return style == MessageStyle::Question && answer == MessageAnswer::Yes;
    }
};

}  // namespace valvora
