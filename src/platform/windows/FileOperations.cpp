// Creating, deleting and copying on Windows. Trees are deleted by the shell's file
// operation (silent, no confirmation, nothing to the recycle bin); its answer is then
// checked against what is really left.
#include <windows.h>
#include <shellapi.h>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

namespace {

// FO_DELETE of one source (which may end in a wildcard); the list ends in two NULs.
bool shellDelete(const std::string& source)
{
    std::wstring from = wide(source);
    from.push_back(L'\0');
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = static_cast<FILEOP_FLAGS>(FOF_SILENT | FOF_NOCONFIRMATION);
    return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}

void dropReadOnly(const std::wstring& name)
{
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        const DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(name.c_str(), writable == 0 ? FILE_ATTRIBUTE_NORMAL : writable);
    }
}

} // namespace

bool createFolder(const std::string& path)
{
    return CreateDirectoryW(wide(path).c_str(), nullptr) != 0 || folderExists(path);
}

bool deleteFolderContents(const std::string& folder)
{
    if (!folderExists(folder))
        return false;
    // The shell reports an error for a wildcard that matches nothing; an empty folder is
    // already emptied.
    if (listFolder(folder, "*").empty())
        return true;
    shellDelete(joinPath(folder, "*.*"));
    return listFolder(folder, "*").empty();
}

bool deleteFolder(const std::string& folder)
{
    if (!folderExists(folder))
        return false;
    shellDelete(folder);
    return !folderExists(folder);
}

bool deleteFile(const std::string& path)
{
    const std::wstring name = wide(path);
    if (DeleteFileW(name.c_str()))
        return true;
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return false;
    dropReadOnly(name); // a copy from a CD is read-only; it is still ours to delete
    return DeleteFileW(name.c_str()) != 0;
}

bool copyFile(const std::string& source, const std::string& target)
{
    const std::wstring from = wide(source), to = wide(target);
    dropReadOnly(to); // a read-only target cannot be replaced
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        return false;
    // CopyFile carries the read-only attribute of a file on a disc along; a plain copy is
    // an ordinary, writable file.
    dropReadOnly(to);
    return true;
}

bool renameFolder(const std::string& from, const std::string& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the new name is taken.
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool syncFolder(const std::string& folder)
{
    // NTFS journals its folder entries itself; a folder that is not there cannot be synced.
    return folderExists(folder);
}

} // namespace torvinel::platform
