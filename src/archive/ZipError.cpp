#include "archive/ZipError.h"

#include <cstdio>

namespace torvinel {

namespace {

const ZipErrorInfo infos[] = {
    {5, 9, "File name is blank. Specify appropriate file name"},
    {6, 11, "File \"%s\" not found"},
    {7, 13, "Archive is not open"},
    {4, 8, "Invalid size or check sum of file or unsupported compression format"},
    {9, 19, "Cannot create file \"%s\""},
    {10, 20, "Cannot create directory \"%s\""},
    {12, 33, "Cannot open file \"%s\""},
    {14, 27, "Cannot delete file \"%s\""},
    {16, 32, "File is open in read-only mode"},
    {23, 43, "Cannot compress file '%s'. Zip64 mode is not enabled"},
    {24, 45, "Cannot open archive file. Opening aborted or invalid file"},
    {25, 46, "Write to stream error"},
    {27, 48, "Archive is damaged. Open failed"},
    {31, 52,
     "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods "
     "to add files several times"},
    // Entries that would land outside the extraction folder (absolute names, drive letters,
    // network prefixes, ".." components) are refused by name.
    {32, 53, "Entry \"%s\" would be written outside the base folder. Extraction refused"},
};

} // namespace

const ZipErrorInfo& zipErrorInfo(ZipErrorKind kind) { return infos[static_cast<int>(kind)]; }

std::string zipErrorMessage(const std::string& componentName, ZipErrorKind kind, const std::string& path)
{
    const ZipErrorInfo& info = zipErrorInfo(kind);
    std::string text = info.text;
    if (const auto at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, path);
    char native[16];
    std::snprintf(native, sizeof native, "%05d", info.nativeError);
    return componentName + ": " + text + " - Native error: " + native;
}

ZipError::ZipError(const std::string& componentName, ZipErrorKind kind, const std::string& path)
    : Error(zipErrorMessage(componentName, kind, path)), m_kind(kind)
{
}

} // namespace torvinel
