#include "catalog/GetFileLength.h"

#include "app/FileHelpers.h"
#include "app/Progress.h"
#include "platform/Platform.h"

namespace torvinel {

std::int64_t GetFileLength(View& view, const std::string& path)
{
    if (int64_t length = 0; WaitUntilFileFree(view, path, &length))
        return length;
    // A file there that may not be opened is unreadable, not missing: the user must not go
    // looking for a file that is where it was.
    const bool unreadable = platform::testFileAccess(path) == platform::FileAccess::Unreadable;
    showBackupProgress(
        view, {.message = (unreadable ? "Warning: Could not read file " : "Warning: Could not find file ") + path});
    return 0;
}

} // namespace torvinel
