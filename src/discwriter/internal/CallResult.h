#pragma once
#include <string>

#include "discwright/DiscwrightTypes.h"

namespace torvinel {

// The out values a drive or tree call of the disc library fills besides its exception
// number: the library's text, a status and the failure record. One per call.
struct CallResult {
    char text[DiscwrightTextSize] = {};
    int32_t status = 0;
    DiscwrightFailure failure{};

    // How a failed call is told to the user and in the log:
    // "<name>() failed, exception <exception>, status <status>, text "<text>"".
    std::string failureMessage(const char* name, DiscwrightException exception) const;
};

} // namespace torvinel
