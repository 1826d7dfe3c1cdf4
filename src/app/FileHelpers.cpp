#include "app/FileHelpers.h"

#include <cstdio>

#include "platform/Platform.h"

namespace torvinel {

bool WaitUntilFileFree(View& view, const std::string& path, int64_t* length)
{
    for (;;) {
        int64_t found = 0;
        switch (platform::testFileAccess(path, found)) {
        case platform::FileAccess::Free:
            if (length)
                *length = found;
            return true;
        case platform::FileAccess::Missing:
        case platform::FileAccess::Unreadable:
            return false;
        case platform::FileAccess::InUse:
            break;
        }
        if (!view.askRetryIgnore("Please close the program using \n" + path + "\nand click Retry, or click Ignore"))
            return false;
    }
}

bool EmptyFolder(const std::string& folder) { return platform::deleteFolderContents(folder); }

std::string DayStamp(int year, int month, int day)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d%02d%02d", year, month, day);
    return text;
}

std::string DayStamp(const std::chrono::year_month_day& date)
{
    return DayStamp(static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
                    static_cast<int>(static_cast<unsigned>(date.day())));
}

std::chrono::year_month_day Today(const Clock& clock)
{
    const platform::Stamp now = platform::localTime(std::chrono::system_clock::to_time_t(clock()));
    return std::chrono::year_month_day{std::chrono::year{now.year},
                                       std::chrono::month{static_cast<unsigned>(now.month)},
                                       std::chrono::day{static_cast<unsigned>(now.day)}};
}

int64_t DriveFreeSpace(const std::string& path) { return platform::driveFreeSpace(path); }

} // namespace torvinel
