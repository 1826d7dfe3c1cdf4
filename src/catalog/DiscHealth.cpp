#include "catalog/DiscHealth.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "app/Error.h"
#include "app/TextFile.h"
#include "catalog/DiscNames.h"
#include "platform/File.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

constexpr std::size_t checkTimeLength = 19; // 2026-12-10T14:03:22

std::string recordPath(const std::string& appFolder) { return platform::joinPath(appFolder, discHealthFile); }

std::string lineOf(const DiscCheck& check)
{
    std::string archives;
    for (const std::string& name : check.damagedArchives)
        archives += (archives.empty() ? "" : " ") + name;
    return check.when + "," + check.discId + "," + conditionName(check.condition) + "," + archives;
}

std::vector<std::string> fieldsOf(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

bool readCondition(const std::string& name, DiscCondition& condition)
{
    for (const DiscCondition c : {DiscCondition::Sound, DiscCondition::Damaged, DiscCondition::Unreadable})
        if (conditionName(c) == name) {
            condition = c;
            return true;
        }
    return false;
}

} // namespace

std::string conditionName(DiscCondition condition)
{
    switch (condition) {
    case DiscCondition::Sound:
        return "sound";
    case DiscCondition::Damaged:
        return "damaged";
    case DiscCondition::Unreadable:
        return "unreadable";
    }
    return {};
}

std::string checkTime(std::chrono::system_clock::time_point moment)
{
    const platform::Stamp local = platform::localTime(std::chrono::system_clock::to_time_t(moment));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.year, local.month, local.day, local.hour,
                  local.minute, local.second);
    return text;
}

std::vector<DiscCheck> readDiscChecks(const std::string& appFolder)
{
    const std::string path = recordPath(appFolder);
    std::vector<DiscCheck> checks;
    if (!platform::fileExists(path))
        return checks;
    for (const std::string& line : readLines(path)) {
        const std::vector<std::string> fields = fieldsOf(line);
        DiscCheck check;
        if (fields.size() != 4 || fields[0].size() != checkTimeLength || !isDiscId(fields[1])
            || !readCondition(fields[2], check.condition))
            continue;
        check.when = fields[0];
        check.discId = fields[1];
        std::size_t start = 0;
        while (start < fields[3].size()) {
            const std::size_t space = std::min(fields[3].find(' ', start), fields[3].size());
            if (space > start)
                check.damagedArchives.push_back(fields[3].substr(start, space - start));
            start = space + 1;
        }
        checks.push_back(std::move(check));
    }
    return checks;
}

void recordDiscCheck(const std::string& appFolder, const DiscCheck& check)
{
    const std::string path = recordPath(appFolder);
    std::string text;
    if (platform::fileExists(path))
        appendFileBytes(path, text);
    // A record whose last line lost its end (edited by hand) keeps that line apart.
    if (!text.empty() && text.back() != '\n')
        text += "\r\n";
    text += lineOf(check) + "\r\n";

    const std::string temporary = path + ".tmp";
    platform::File file = platform::File::open(temporary, platform::FileMode::Create);
    bool written = file.isOpen();
    for (std::size_t done = 0; written && done < text.size();) {
        const int64_t n = file.writeAt(text.data() + done, text.size() - done, done);
        written = n > 0;
        done += written ? static_cast<std::size_t>(n) : 0;
    }
    written = written && file.sync();
    written = file.isOpen() && file.close() && written;
    if (!written || !platform::replaceFile(temporary, path) || !platform::syncFolder(appFolder)) {
        static_cast<void>(platform::deleteFile(temporary)); // the old record stands; the failure is what counts
        throw Error("Could not write " + path);
    }
}

std::vector<DiscCheck> lastChecks(const std::vector<DiscCheck>& checks)
{
    std::map<std::string, std::size_t> last; // DiscId -> its last line
    for (std::size_t i = 0; i < checks.size(); ++i)
        last[checks[i].discId] = i;
    std::vector<std::size_t> lines;
    for (const auto& entry : last)
        lines.push_back(entry.second);
    std::sort(lines.begin(), lines.end());
    std::vector<DiscCheck> result;
    for (const std::size_t i : lines)
        result.push_back(checks[i]);
    return result;
}

std::string nextDiscToCheck(const SortedList& discs, const std::vector<DiscCheck>& checks)
{
    const std::vector<DiscCheck> last = lastChecks(checks);
    for (std::size_t i = 0; i < discs.size(); ++i)
        if (std::none_of(last.begin(), last.end(), [&](const DiscCheck& c) { return c.discId == discs[i]; }))
            return discs[i];
    // The order of the lines, not their times, tells which check is older: a clock set back
    // cannot reorder them.
    for (const DiscCheck& check : last)
        if (discs.contains(check.discId))
            return check.discId;
    return {};
}

SortedList damagedDiscs(const std::vector<DiscCheck>& checks)
{
    SortedList damaged;
    for (const DiscCheck& check : lastChecks(checks))
        if (check.condition == DiscCondition::Damaged)
            damaged.add(check.discId);
    return damaged;
}

} // namespace torvinel
