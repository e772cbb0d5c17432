#pragma once

#include <functional>
#include <utility>
#include <vector>

class wxMenu;
typedef struct _DbusmenuServer DbusmenuServer;
typedef struct _DbusmenuMenuitem DbusmenuMenuitem;

// A menu of normal, check and separator items on the session bus, as the menu of a
// StatusNotifierItem (com.canonical.dbusmenu): the panel draws it and tells us what was chosen.
// Its items mirror those of a wxMenu, mnemonics and ticks included. Main thread only.
class StatusNotifierMenu
{
public:
    // The id of the item chosen, and for a check item the tick it has now.
    typedef std::function<void(int id, bool checked)> Chosen;

    StatusNotifierMenu(const char* objectPath, const wxMenu& menu, const Chosen& chosen);
    ~StatusNotifierMenu();

    StatusNotifierMenu(const StatusNotifierMenu&) = delete;
    StatusNotifierMenu& operator=(const StatusNotifierMenu&) = delete;

    // Takes the labels and ticks of the menu's items again.
    void Update(const wxMenu& menu);

private:
    static void OnActivated(DbusmenuMenuitem* item, unsigned timestamp, void* self);

    DbusmenuServer* m_server = nullptr;
    DbusmenuMenuitem* m_root = nullptr;
    // The menu's items by id, with their mirrors; separators have none.
    std::vector<std::pair<int, DbusmenuMenuitem*>> m_items;
    Chosen m_chosen;
};
