#pragma once

#include "ui/StatusNotifierMenu.h"
#include "ui/StatusNotifierRegistration.h"

#include <wx/string.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class wxBitmapBundle;
class wxImage;
class wxMenu;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

// An icon in the panels of today's desktops: an org.kde.StatusNotifierItem on the session bus,
// under a name of its own, with its menu through StatusNotifierMenu. It is registered with the
// panel's watcher whenever one is there, at the start or whenever one appears later (a panel
// started after the program, or started again), and again when the watcher drops it. Main
// thread only, like every window.
//
// It never waits on a reply from elsewhere that could call back into code that may be gone: the
// registration is sent without one, and its success is seen in the watcher's own signal or list.
class StatusNotifierItem
{
public:
    struct Handlers
    {
        std::function<void()> activated;             // what a left click on the icon sends
        StatusNotifierMenu::Chosen chosen;           // an item of its menu
        std::function<void(bool shown)> shownChanged; // a panel shows the icon now, or no more
    };

    // Null when there is no session bus to be on, or the item cannot be put there.
    static std::unique_ptr<StatusNotifierItem> Create(const wxString& title, const wxMenu& menu,
                                                      const Handlers& handlers);
    ~StatusNotifierItem();

    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // Offered at its own size and at twice that, for panels on screens that draw at scale 2.
    void SetIcon(const wxBitmapBundle& icon);
    void SetToolTip(const wxString& text);
    // Takes the menu's labels and ticks again.
    void UpdateMenu(const wxMenu& menu);

    // A watcher has taken the item and a panel that shows items is there.
    bool IsShown() const { return m_registered && m_hostThere; }
    // The name the item goes by on the bus.
    const std::string& GetBusName() const { return m_busName; }

private:
    StatusNotifierItem(GDBusConnection* bus, const wxString& title, const Handlers& handlers);
    bool Export(const wxMenu& menu);

    GVariant* GetProperty(const char* name) const;
    void OnMethodCall(const char* method, GVariant* parameters);
    void Emit(const char* signal);
    void OnWatcherAppeared();
    void OnWatcherVanished();
    void OnWatcherSignal(const char* signal, GVariant* parameters);
    void AskForHost();
    void SetShown(bool registered, bool hostThere);

    // The functions GDBus calls, each with the item as its data.
    class Glue;

    GDBusConnection* m_bus;
    wxString m_title;
    wxString m_toolTip;
    Handlers m_handlers;
    std::string m_busName;
    // The icon as the protocol carries it: width, height and ARGB bytes in network order,
    // once for each size.
    struct Pixmap
    {
        int width;
        int height;
        std::vector<unsigned char> pixels;
    };
    static Pixmap ToPixmap(const wxImage& image);
    std::vector<Pixmap> m_iconPixmaps;
    std::unique_ptr<StatusNotifierMenu> m_menu;
    std::unique_ptr<StatusNotifierRegistration> m_registration;

    unsigned m_objectId = 0;
    unsigned m_watchId = 0;
    unsigned m_signalId = 0;
    bool m_registered = false;
    bool m_hostThere = false;
};
