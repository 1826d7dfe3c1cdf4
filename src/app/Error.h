#pragma once
#include <stdexcept>
#include <string>

namespace torvinel {

// The one failure type. It carries the exact text the user sees in the error box;
// a failure abandons the operation in progress without undoing its earlier steps.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The error box's text: the message with a full stop appended when it does not end in one.
std::string errorBoxText(const std::string& message);

} // namespace torvinel
