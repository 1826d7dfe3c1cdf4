#pragma once
#include "discwright/DiscwrightTypes.h"

#include <stdexcept>
#include <string>

namespace torvinel {

// Exception numbers of failed calls.
enum DiscwrightExceptionNumber : DiscwrightException {
    DW_OK = 0,
    DW_GENERAL_FAILURE = 1,
    DW_INVALID_HANDLE = 2,
    DW_NO_DEVICE = 3,
    DW_NOT_READY = 4,
    DW_NO_MEDIA = 5,
    DW_WRITE_FAILED = 6,
    DW_READ_FAILED = 7,
    DW_VERIFY_MISMATCH = 8,
    DW_NOT_SUPPORTED = 9,
    DW_IMAGE_FAILED = 10,
    DW_NOT_STARTED = 11,
};

// A failed drive or tree operation: the exception number, a status value and the text the
// caller gets in its error buffer.
class DriveFailure : public std::runtime_error {
public:
    DriveFailure(DiscwrightException exception, int32_t status, const std::string& text)
        : std::runtime_error(text), m_exception(exception), m_status(status)
    {
    }
    DiscwrightException exception() const { return m_exception; }
    int32_t status() const { return m_status; }

private:
    DiscwrightException m_exception;
    int32_t m_status;
};

} // namespace torvinel
