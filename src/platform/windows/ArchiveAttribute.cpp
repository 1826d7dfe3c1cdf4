// The archive attribute on Windows: the file system sets it on every write; we clear it
// once a file's content is on a disc.
#include <windows.h>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

struct ArchiveAttribute::Impl { };

ArchiveAttribute::ArchiveAttribute(std::string) : m_impl(std::make_unique<Impl>()) { }

ArchiveAttribute::~ArchiveAttribute() = default;

bool ArchiveAttribute::isSet(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_ARCHIVE) != 0;
}

void ArchiveAttribute::clear(const std::string& path)
{
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_ARCHIVE) == 0)
        return;
    DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE);
    SetFileAttributesW(name.c_str(), cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared);
}

void ArchiveAttribute::clear(const std::string& path, const FileIdentity& readFrom)
{
    if (fileIdentity(path) == readFrom)
        clear(path);
    else
        set(path);
}

void ArchiveAttribute::set(const std::string& path)
{
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_ARCHIVE) != 0)
        return;
    DWORD marked = (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL)) | FILE_ATTRIBUTE_ARCHIVE;
    SetFileAttributesW(name.c_str(), marked);
}

bool ArchiveAttribute::save() { return true; }

} // namespace torvinel::platform
