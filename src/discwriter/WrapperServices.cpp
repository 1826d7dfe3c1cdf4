#include "discwriter/WrapperServices.h"

#include <cstdio>
#include <cstring>

#include "app/Error.h"
#include "discwriter/TextFormat.h"
#include "discwright/Discwright.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

// What the library is called where it is named to the user.
#ifdef _WIN32
const char* const LibraryName = "Discwright.dll";
#else
const char* const LibraryName = "disc library";
#endif

} // namespace

bool CheckLibraryVersion(View& view, uint32_t version)
{
    if (version == ExpectedLibraryVersion)
        return true;
    const std::string text = Format("Discwright : Invalid %s version : 0x%08X. Expected : 0x%08X", LibraryName,
                                    version, ExpectedLibraryVersion);
    platform::debugOutput(text);
    view.showError(text);
    return false;
}

bool CheckLibraryVersion(View& view) { return CheckLibraryVersion(view, Discwright_GetVersion()); }

std::string libraryVersionText()
{
    return Format("Discwright : %s version : 0x%08X", LibraryName, Discwright_GetVersion());
}

std::string BufferText(const char* buffer, std::size_t size)
{
    if (buffer == nullptr)
        return {};
    return std::string(buffer, strnlen(buffer, size));
}

void AppendLine(const std::string& file, const std::string& text)
{
    std::FILE* out = std::fopen(file.c_str(), "ab");
    if (!out)
        throw Error("Could not write " + file);
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size()
        && std::fwrite("\r\n", 1, 2, out) == 2 && std::fflush(out) == 0;
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed)
        throw Error("Could not write " + file);
}

std::string NameWithoutExtension(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

} // namespace torvinel
