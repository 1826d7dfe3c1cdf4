#pragma once
#include <string>

#include "app/MemoryView.h"

// A View for benchmarks: core talks to a progress window and asks questions; here nobody
// watches, and every question gets No, Ignore or Cancel.
class QuietView : public torvinel::MemoryView {
public:
    void processEvents() override { }
    void showInformation(const std::string&) override { }
    void showError(const std::string&) override { }
    bool askYesNo(const std::string&) override { return false; }
    bool askYesNoDefaultNo(const std::string&) override { return false; }
    std::vector<std::string> askNewItems(const std::vector<std::string>&, const std::vector<std::string>&) override
    {
        return {};
    }
    bool askRetryIgnore(const std::string&) override { return false; }
    bool askOkCancel(const std::string&) override { return false; }
    void openFolder(const std::string&) override { }
    void openUrl(const std::string&) override { }
};
