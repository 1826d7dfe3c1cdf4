#include "app/IniFile.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/Error.h"
#include "app/TextFile.h"

namespace torvinel {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

// The file's lines with the places of one section and one key.
struct IniLines {
    std::vector<std::string> lines;
    std::optional<std::size_t> sectionLine; // the "[section]" line
    std::size_t sectionEnd = 0;             // one past the section's last key line
    std::optional<std::size_t> keyLine;

    std::string_view value() const
    {
        const std::string& line = lines[*keyLine];
        return trim(std::string_view(line).substr(line.find('=') + 1));
    }
};

std::vector<std::string> linesOf(const std::string& file)
{
    std::error_code error;
    return std::filesystem::exists(file, error) ? readLines(file) : std::vector<std::string>();
}

IniLines locate(std::vector<std::string> lines, const std::string& section, const std::string& key)
{
    IniLines ini;
    ini.lines = std::move(lines);
    bool inSection = false;
    for (std::size_t i = 0; i < ini.lines.size(); ++i) {
        const std::string_view line = trim(ini.lines[i]);
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            inSection = !ini.sectionLine && sameName(name, section);
            if (inSection) {
                ini.sectionLine = i;
                ini.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection || line.empty() || line.front() == ';')
            continue;
        ini.sectionEnd = i + 1;
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && !ini.keyLine && sameName(trim(line.substr(0, equals)), key))
            ini.keyLine = i;
    }
    return ini;
}

IniLines load(const std::string& file, const std::string& section, const std::string& key)
{
    return locate(linesOf(file), section, key);
}

// Sets key in ini's lines as a write of it would.
void set(IniLines& ini, const std::string& section, const std::string& key, const std::string& value)
{
    const std::string line = key + "=" + value;
    if (ini.keyLine) {
        std::string& existing = ini.lines[*ini.keyLine];
        existing = existing.substr(0, existing.find('=') + 1) + value; // keep the key's spelling
    } else if (ini.sectionLine) {
        ini.lines.insert(ini.lines.begin() + static_cast<long>(ini.sectionEnd), line);
    } else {
        if (!ini.lines.empty() && !trim(ini.lines.back()).empty())
            ini.lines.emplace_back();
        ini.lines.push_back("[" + section + "]");
        ini.lines.push_back(line);
    }
}

void store(const std::string& file, const std::string& section, const std::string& key, const std::string& value)
{
    IniLines ini = load(file, section, key);
    set(ini, section, key, value);
    writeLines(file, ini.lines);
}

std::optional<int64_t> parseInteger(std::string_view text)
{
    int64_t value = 0;
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

} // namespace

std::string IniReadOrCreateString(const std::string& file, const std::string& section, const std::string& key,
                                  const std::string& defaultValue)
{
    const IniLines ini = load(file, section, key);
    if (ini.keyLine)
        return std::string(ini.value());
    store(file, section, key, defaultValue);
    return defaultValue;
}

int64_t IniReadOrCreateInteger(const std::string& file, const std::string& section, const std::string& key,
                               int64_t defaultValue)
{
    const IniLines ini = load(file, section, key);
    if (ini.keyLine)
        return parseInteger(ini.value()).value_or(defaultValue);
    store(file, section, key, std::to_string(defaultValue));
    return defaultValue;
}

bool IniReadOrCreateBool(const std::string& file, const std::string& section, const std::string& key, bool defaultValue)
{
    const IniLines ini = load(file, section, key);
    if (ini.keyLine) {
        const auto number = parseInteger(ini.value());
        return number ? *number != 0 : defaultValue;
    }
    store(file, section, key, defaultValue ? "1" : "0");
    return defaultValue;
}

std::vector<std::pair<std::string, std::string>> IniReadSection(const std::string& file, const std::string& section)
{
    const IniLines ini = load(file, section, "");
    std::vector<std::pair<std::string, std::string>> keys;
    if (!ini.sectionLine)
        return keys;
    for (std::size_t i = *ini.sectionLine + 1; i < ini.sectionEnd; ++i) {
        const std::string_view line = trim(ini.lines[i]);
        const std::size_t equals = line.find('=');
        if (line.empty() || line.front() == ';' || equals == std::string_view::npos)
            continue;
        keys.emplace_back(trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
    }
    return keys;
}

void IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value)
{
    store(file, section, key, value);
}

void IniWriteInteger(const std::string& file, const std::string& section, const std::string& key, int64_t value)
{
    store(file, section, key, std::to_string(value));
}

void IniWriteBool(const std::string& file, const std::string& section, const std::string& key, bool value)
{
    store(file, section, key, value ? "1" : "0");
}

void IniWriteStrings(const std::string& file, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& values)
{
    std::vector<std::string> lines = linesOf(file);
    for (const auto& [key, value] : values) {
        IniLines ini = locate(std::move(lines), section, key);
        set(ini, section, key, value);
        lines = std::move(ini.lines);
    }
    writeLines(file, lines);
}

} // namespace torvinel
