#include "discwriter/internal/CallResult.h"

#include "discwriter/TextFormat.h"
#include "discwriter/WrapperServices.h"

namespace torvinel {

std::string CallResult::failureMessage(const char* name, DiscwrightException exception) const
{
    return Format("%s() failed, exception %d, status %d, text \"%s\"", name, exception, status,
                  BufferText(text, sizeof text).c_str());
}

} // namespace torvinel
