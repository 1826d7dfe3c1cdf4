// A disc added back into the database, as "Add disc" reads it: its catalogs and STATUS.INI
// come from the input, and the backup state is assembled from them and from an older disc.
//
// Input, separated by PartSeparator lines: the disc's catalog file names (one a line; unusable
// names fall back to fixed ones), its STATUS.INI, its first and second catalog, and the
// catalog of the older disc already in the database.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/Error.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscMaintenance.h"
#include "QuietView.h"
#include "support/FuzzFiles.h"

namespace {

using namespace torvinel;
using namespace torvinel::fuzz;

constexpr const char* DiscId = "20240301001";
constexpr const char* OlderDiscId = "20240229001";

bool endsWithCsv(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return tail == ".csv";
}

// The disc as the input describes it; copies write the input's parts.
class InputDisc : public DiscSource {
public:
    InputDisc(std::vector<std::string> names, std::vector<std::string> catalogs, std::string statusIni)
        : m_names(std::move(names)), m_catalogs(std::move(catalogs)), m_statusIni(std::move(statusIni))
    {
    }
    std::string location() const override { return "the fuzz input"; }
    std::vector<std::string> discFolderNames() override { return {DiscId}; }
    std::vector<std::string> fileNames(const std::string&) override
    {
        std::vector<std::string> files = m_names;
        files.push_back("STATUS.INI");
        files.push_back("2024030100001rn.zip");
        return files;
    }
    bool copyCatalogs(const std::string&, const std::string& target) override
    {
        for (std::size_t i = 0; i < m_names.size(); ++i)
            if (endsWithCsv(m_names[i]))
                writeFile(target + "/" + m_names[i], m_catalogs[i]);
        return true;
    }
    bool copyStatusIni(const std::string&, const std::string& target) override
    {
        writeFile(target + "/status.ini", m_statusIni);
        return true;
    }

private:
    std::vector<std::string> m_names;
    std::vector<std::string> m_catalogs;
    std::string m_statusIni;
};

std::vector<std::string> catalogNames(const std::string& text)
{
    const char* const fallback[] = {"2024030100002rn.csv", "2024030100003rd.csv"};
    std::vector<std::string> names;
    std::size_t start = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string name = start <= text.size() ? text.substr(start, end - start) : std::string();
        start = end + 1;
        const bool usable = !name.empty() && name.size() < 100 && name != "." && name != ".."
            && name.find_first_of(std::string("/\n\0", 3)) == std::string::npos
            && name.rfind("filing-", 0) != 0;
        names.push_back(usable ? name : fallback[i]);
    }
    if (names[0] == names[1])
        names[1] = fallback[names[0] == fallback[1] ? 0 : 1];
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> parts = splitParts(data, size, 5);
    const std::string root = freshFolder("disc");
    RunState state;
    state.AppFolder = root;
    state.DatabaseFolder = root + "/Database";
    state.TempFolder = root + "/torvineltemp";
    fs::create_directories(state.DatabaseFolder + "/" + OlderDiscId);
    fs::create_directories(state.TempFolder);
    writeFile(state.DatabaseFolder + "/" + OlderDiscId + "/2024022900001rn.csv", parts[4]);

    QuietView view; // every question gets its safe answer
    InputDisc disc(catalogNames(parts[0]), {parts[2], parts[3]}, parts[1]);
    AddDiskResult result = AddDiskResult::NothingChosen;
    try {
        result = addDisc(state, view, disc, {});
    } catch (const Error&) {
        return 0; // a catalog whose name promises a volume number it does not hold
    }

    // All or nothing: a refused disc leaves nothing in the database.
    const bool filed = fs::exists(state.DatabaseFolder + "/" + DiscId);
    TORVINEL_FUZZ_CHECK(filed == (result == AddDiskResult::Added));
    for (const auto& entry : fs::directory_iterator(state.DatabaseFolder))
        TORVINEL_FUZZ_CHECK(entry.path().filename().string().rfind("filing-", 0) != 0);

    // The state holds one line per path, no path both kept and deleted, and the stored
    // backup list gives the same state back.
    std::set<std::string> paths;
    for (std::size_t i = 0; i < state.BackupState.size(); ++i) {
        const std::string path = CatalogPath(state.BackupState[i]);
        TORVINEL_FUZZ_CHECK(!path.empty());
        TORVINEL_FUZZ_CHECK(paths.insert(path).second);
        TORVINEL_FUZZ_CHECK(!state.DeletedPaths.contains(path));
    }
    SortedList stored;
    stored.loadFromFile(state.appFile("BackupList.txt"));
    TORVINEL_FUZZ_CHECK(stored.lines() == state.BackupState.lines());
    return 0;
}
