#include "app/Error.h"

namespace torvinel {

std::string errorBoxText(const std::string& message)
{
    if (!message.empty() && message.back() == '.')
        return message;
    return message + ".";
}

} // namespace torvinel
