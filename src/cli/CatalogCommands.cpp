#include "cli/CatalogCommands.h"

#include <cstdio>
#include <functional>
#include <map>

#include "app/Application.h"
#include "app/Error.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscMaintenance.h"
#include "catalog/DiscNames.h"
#include "cli/Commands.h"

namespace torvinel::cli {

const char* const catalogUsage =
    "  discs                 list the discs of the database, oldest first\n"
    "  state [--set DISCID]  print the backup state (as of disc DISCID with --set)\n"
    "  remove-disc DISCID    remove the oldest or the newest disc from the database\n"
    "  add-disc SOURCE       add the disc in the drive or folder SOURCE to the database\n";

namespace {

// Until the terminal View lands: keeps the lists core sets, prints the message boxes.
class PlainView : public View {
public:
    void setText(Window, std::string_view, const std::string&) override {}
    std::string text(Window, std::string_view) const override { return {}; }
    void setPosition(Window, std::string_view, int) override {}
    int position(Window, std::string_view) const override { return 0; }
    void setEnabled(Window, std::string_view, bool) override {}
    bool isEnabled(Window, std::string_view) const override { return true; }
    void setVisible(Window, std::string_view, bool) override {}
    void setChecked(std::string_view control, bool checked) override { m_checks[std::string(control)] = checked; }
    bool isChecked(std::string_view control) const override
    {
        auto it = m_checks.find(control);
        return it != m_checks.end() && it->second;
    }
    void setItems(std::string_view control, const std::vector<std::string>& items, int selected) override
    {
        m_lists[std::string(control)] = {items, selected};
    }
    std::vector<std::string> items(std::string_view control) const override
    {
        auto it = m_lists.find(control);
        return it == m_lists.end() ? std::vector<std::string>() : it->second.first;
    }
    void setSelectedIndex(std::string_view control, int index) override { m_lists[std::string(control)].second = index; }
    int selectedIndex(std::string_view control) const override
    {
        auto it = m_lists.find(control);
        return it == m_lists.end() ? -1 : it->second.second;
    }
    void setStatusText(int, const std::string&) override {}
    void showWindow(Window) override {}
    void hideWindow(Window) override {}
    WindowGeometry geometry(Window) const override { return m_geometry; }
    void setGeometry(Window, const WindowGeometry& g) override { m_geometry = g; }
    WindowGeometry screen() const override { return {0, 0, 1024, 768}; }
    void processEvents() override {}
    void showInformation(const std::string& text) override { std::printf("%s\n", text.c_str()); }
    void showError(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    bool askYesNo(const std::string&) override { return false; }
    bool askRetryIgnore(const std::string&) override { return false; }
    bool askOkCancel(const std::string&) override { return false; }
    void openFolder(const std::string&) override {}
    void openUrl(const std::string&) override {}
    CheckTree& backupTree() override { throw Error("There is no backup tree on the command line"); }
    CheckTree& restoreTree() override { throw Error("There is no restore tree on the command line"); }

private:
    std::map<std::string, bool, std::less<>> m_checks;
    std::map<std::string, std::pair<std::vector<std::string>, int>, std::less<>> m_lists;
    WindowGeometry m_geometry{0, 0, 700, 440};
};

int usageError(const std::string& text)
{
    std::fprintf(stderr, "torvinel-cli: %s\n", text.c_str());
    return Failed;
}

// Runs command between start-up and shut-down; a failure's text goes to standard error as
// the error box would show it.
int withApplication(const std::function<int(RunState&, View&)>& command)
{
    PlainView view;
    Application application(view);
    int code = Failed;
    try {
        application.FormCreate();
        code = command(application.state(), view);
    } catch (const Error& error) {
        std::fprintf(stderr, "%s\n", errorBoxText(error.what()).c_str());
        code = Failed;
    }
    try {
        application.FormClose();
    } catch (const Error& error) {
        std::fprintf(stderr, "%s\n", errorBoxText(error.what()).c_str());
        code = Failed;
    }
    return code;
}

int discs(RunState& state, View& view)
{
    ListDiscs(state, view);
    for (std::size_t i = 0; i < state.DiscList.size(); ++i)
        std::printf("%s\n", state.DiscList[i].c_str());
    return Done;
}

int printState(RunState& state, View& view, const std::optional<std::string>& disc)
{
    if (disc) {
        // As the restore chooser: variables of its own, so the stored values stay.
        if (!discFolders(state).contains(*disc))
            return usageError("there is no disc " + *disc + " in the database");
        std::string newest = *disc, oldest;
        AssembleBackupState(state, view, newest, oldest, true);
    } else {
        // As a backup run's assembly.
        state.NewestDisc.clear();
        AssembleBackupState(state, view, state.NewestDisc, state.OldestCSV, true);
    }
    for (std::size_t i = 0; i < state.BackupState.size(); ++i)
        std::printf("%s\n", state.BackupState[i].c_str());
    return Done;
}

int removeDisc(RunState& state, View& view, const std::string& disc)
{
    ListDiscs(state, view);
    const auto offered = view.items("Disklist");
    for (std::size_t i = 0; i < offered.size(); ++i) {
        if (offered[i].compare(0, discIdLength, disc) == 0 && disc.size() == discIdLength) {
            view.setSelectedIndex("Disklist", static_cast<int>(i));
            return RemoveButtonClick(state, view, {}) ? Done : Failed;
        }
    }
    return usageError("disc " + disc + " cannot be removed: only the oldest and the newest disc of the database can");
}

int addDisc(RunState& state, View& view, const std::string& source)
{
    FolderDiscSource disc(source);
    switch (AddDiskClick(state, view, disc, {})) {
    case AddDiskResult::Added:
    case AddDiskResult::AlreadyAdded:
        return Done;
    case AddDiskResult::CopyFailed:
        std::fprintf(stderr, "Copy failed.\n");
        return Failed;
    default:
        return Failed;
    }
}

} // namespace

std::optional<int> runCatalogCommand(const std::vector<std::string>& args)
{
    const std::string& command = args[0];
    if (command == "discs") {
        if (args.size() != 1)
            return usageError("discs takes no arguments");
        return withApplication(discs);
    }
    if (command == "state") {
        std::optional<std::string> disc;
        if (args.size() == 3 && args[1] == "--set")
            disc = args[2];
        else if (args.size() != 1)
            return usageError("usage: state [--set DISCID]");
        return withApplication([&](RunState& s, View& v) { return printState(s, v, disc); });
    }
    if (command == "remove-disc") {
        if (args.size() != 2)
            return usageError("usage: remove-disc DISCID");
        return withApplication([&](RunState& s, View& v) { return removeDisc(s, v, args[1]); });
    }
    if (command == "add-disc") {
        if (args.size() != 2)
            return usageError("usage: add-disc SOURCE");
        return withApplication([&](RunState& s, View& v) { return addDisc(s, v, args[1]); });
    }
    return std::nullopt;
}

} // namespace torvinel::cli
