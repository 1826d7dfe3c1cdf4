#pragma once
#include <string>
#include <vector>

#include <QDialog>

class QListWidget;
class QPushButton;

namespace torvinel::ui {

// The start-up's window of new items: the items of the computer that the backup selection
// does not know yet, each with a check box, unticked, in the list "NewItemsList"; beside them,
// for reference, the paths ticked now ("TickedList", read only). "Add ticked"
// ("AddTickedButton") accepts the window, "Not now" ("NotNowButton"), Escape and closing it
// reject it; only an accepted window has ticked items to add.
class NewItemsWindow : public QDialog {
public:
    NewItemsWindow(const std::vector<std::string>& items, const std::vector<std::string>& ticked,
                   QWidget* parent = nullptr);

    // The items ticked now, in the order given.
    std::vector<std::string> tickedItems() const;

    QListWidget* newItems() const { return m_newItems; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* notNowButton() const { return m_notNow; }

private:
    std::vector<std::string> m_items;
    QListWidget* m_newItems = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_notNow = nullptr;
};

} // namespace torvinel::ui
