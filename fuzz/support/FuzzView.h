#pragma once
#include <string>

#include "app/MemoryView.h"

namespace torvinel::fuzz {

// A View without windows that gives every question its safe answer (No, Ignore, Cancel).
class FuzzView : public MemoryView {
public:
    void processEvents() override { }
    void showInformation(const std::string&) override { }
    void showError(const std::string&) override { }
    bool askYesNo(const std::string&) override { return false; }
    bool askRetryIgnore(const std::string&) override { return false; }
    bool askOkCancel(const std::string&) override { return false; }
    void openFolder(const std::string&) override { }
    void openUrl(const std::string&) override { }
};

} // namespace torvinel::fuzz
