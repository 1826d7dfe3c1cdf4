#pragma once
#include <string>

#include "app/Error.h"

namespace torvinel {

// The archive engine's failures. Each kind has its text (with %s for a path), an error
// code and a native error number; the message the user sees is
//   <component name> + ": " + text + " - Native error: " + five-digit native number.
enum class ZipErrorKind {
    FileNameBlank,
    FileNotFound,
    ArchiveNotOpen,
    BadSizeOrCheckSum,
    CannotCreateFile,
    CannotCreateDirectory,
    CannotOpenFile,
    CannotDeleteFile,
    ReadOnly,
    Zip64Disabled,
    CannotOpenArchive,
    WriteToStream,
    ArchiveDamaged,
    SplitNotModifiable,
    UnsafeEntryName,
};

struct ZipErrorInfo {
    int errorCode;
    int nativeError;
    const char* text;
};

const ZipErrorInfo& zipErrorInfo(ZipErrorKind kind);

// "ZF: Cannot open file "/x" - Native error: 00033"
std::string zipErrorMessage(const std::string& componentName, ZipErrorKind kind, const std::string& path = {});

// A failure raised by the engine: the message plus its two numbers.
class ZipError : public Error {
public:
    ZipError(const std::string& componentName, ZipErrorKind kind, const std::string& path = {});
    ZipErrorKind kind() const { return m_kind; }
    int errorCode() const { return zipErrorInfo(m_kind).errorCode; }
    int nativeError() const { return zipErrorInfo(m_kind).nativeError; }

private:
    ZipErrorKind m_kind;
};

// Inside the engine: a failure not yet turned into a ZipError, so that the component can
// decide whether it goes to OnProcessFileFailure or straight to the caller.
struct ZipFault {
    ZipErrorKind kind;
    std::string path;
};

} // namespace torvinel
