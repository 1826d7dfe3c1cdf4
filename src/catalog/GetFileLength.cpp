#include "catalog/GetFileLength.h"

#include "app/FileHelpers.h"
#include "app/Progress.h"
#include "platform/Platform.h"

namespace torvinel {

std::int64_t GetFileLength(View& view, const std::string& path)
{
    if (WaitUntilFileFree(view, path))
        if (const auto length = platform::fileLength(path))
            return *length;
    showBackupProgress(view, {.message = "Warning: Could not find file " + path});
    return 0;
}

} // namespace torvinel
