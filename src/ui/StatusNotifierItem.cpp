#include "ui/StatusNotifierItem.h"

#include "shell/SessionBus.h"

// The session bus and its menu protocol are of the free desktops; Windows has a tray of its own.
#ifndef __WXMSW__

#include <wx/bitmap.h>
#include <wx/bmpbndl.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/menu.h>

#include <gio/gio.h>

#include <unistd.h>

namespace
{
const char ITEM_PATH[] = "/StatusNotifierItem";
const char ITEM_INTERFACE[] = "org.kde.StatusNotifierItem";
const char MENU_PATH[] = "/MenuBar";
const char WATCHER[] = "org.kde.StatusNotifierWatcher";
const char WATCHER_PATH[] = "/StatusNotifierWatcher";
// The id by which panels remember the item: the desktop entry's.
const char ITEM_ID[] = "org.parlotovrik.Parlo";
// A question to the bus or the watcher that takes longer gets no answer.
const int CALL_TIMEOUT_MS = 1000;

const char INTROSPECTION[] =
    "<node>"
    " <interface name='org.kde.StatusNotifierItem'>"
    "  <property name='Category' type='s' access='read'/>"
    "  <property name='Id' type='s' access='read'/>"
    "  <property name='Title' type='s' access='read'/>"
    "  <property name='Status' type='s' access='read'/>"
    "  <property name='WindowId' type='i' access='read'/>"
    "  <property name='IconName' type='s' access='read'/>"
    "  <property name='IconPixmap' type='a(iiay)' access='read'/>"
    "  <property name='OverlayIconName' type='s' access='read'/>"
    "  <property name='OverlayIconPixmap' type='a(iiay)' access='read'/>"
    "  <property name='AttentionIconName' type='s' access='read'/>"
    "  <property name='AttentionIconPixmap' type='a(iiay)' access='read'/>"
    "  <property name='AttentionMovieName' type='s' access='read'/>"
    "  <property name='ToolTip' type='(sa(iiay)ss)' access='read'/>"
    "  <property name='ItemIsMenu' type='b' access='read'/>"
    "  <property name='Menu' type='o' access='read'/>"
    "  <method name='ContextMenu'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "  <method name='Activate'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "  <method name='SecondaryActivate'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "  <method name='Scroll'><arg name='delta' type='i' direction='in'/><arg name='orientation' type='s' direction='in'/></method>"
    "  <signal name='NewTitle'/>"
    "  <signal name='NewIcon'/>"
    "  <signal name='NewAttentionIcon'/>"
    "  <signal name='NewOverlayIcon'/>"
    "  <signal name='NewToolTip'/>"
    "  <signal name='NewStatus'><arg name='status' type='s'/></signal>"
    " </interface>"
    "</node>";

GVariant* NoPixmaps()
{
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
}

// A call to another party on the bus that waits for its answer, at most CALL_TIMEOUT_MS; null
// when there is none.
GVariant* Ask(GDBusConnection* bus, const char* name, const char* path, const char* interface,
              const char* method, GVariant* parameters, const char* replyType)
{
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, name, path, interface, method, parameters,
                                                  G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE,
                                                  CALL_TIMEOUT_MS, nullptr, &error);
    if ( !reply )
    {
        wxLogTrace("lumora", "StatusNotifierItem: %s.%s: %s", interface, method, error->message);
        g_error_free(error);
    }
    return reply;
}
}

class StatusNotifierItem::Glue
{
public:
    static void MethodCall(GDBusConnection*, const char*, const char*, const char*, const char* method,
                           GVariant* parameters, GDBusMethodInvocation* invocation, void* self)
    {
        static_cast<StatusNotifierItem*>(self)->OnMethodCall(method, parameters);
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    static GVariant* PropertyGet(GDBusConnection*, const char*, const char*, const char*, const char* name,
                                 GError** error, void* self)
    {
        GVariant* value = static_cast<StatusNotifierItem*>(self)->GetProperty(name);
        if ( !value )
            g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", name);
        return value;
    }

    static void WatcherAppeared(GDBusConnection*, const char*, const char*, void* self)
    {
        static_cast<StatusNotifierItem*>(self)->OnWatcherAppeared();
    }

    static void WatcherVanished(GDBusConnection*, const char*, void* self)
    {
        static_cast<StatusNotifierItem*>(self)->OnWatcherVanished();
    }

    static void WatcherSignal(GDBusConnection*, const char*, const char*, const char*, const char* signal,
                              GVariant* parameters, void* self)
    {
        static_cast<StatusNotifierItem*>(self)->OnWatcherSignal(signal, parameters);
    }
};

std::unique_ptr<StatusNotifierItem> StatusNotifierItem::Create(const wxString& title, const wxMenu& menu,
                                                               const Handlers& handlers)
{
    if ( !SessionBus::IsThere() )
    {
        wxLogTrace("lumora", "StatusNotifierItem: no session bus");
        return nullptr;
    }
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if ( !bus )
    {
        wxLogTrace("lumora", "StatusNotifierItem: the session bus: %s", error->message);
        g_error_free(error);
        return nullptr;
    }
    std::unique_ptr<StatusNotifierItem> item(new StatusNotifierItem(bus, title, handlers));
    if ( !item->Export(menu) )
        return nullptr;
    return item;
}

StatusNotifierItem::StatusNotifierItem(GDBusConnection* bus, const wxString& title, const Handlers& handlers)
    : m_bus(bus)
    , m_title(title)
    , m_toolTip(title)
    , m_handlers(handlers)
{
}

bool StatusNotifierItem::Export(const wxMenu& menu)
{
    GError* error = nullptr;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(INTROSPECTION, &error);
    if ( !node )
    {
        wxLogTrace("lumora", "StatusNotifierItem: %s", error->message);
        g_error_free(error);
        return false;
    }
    static const GDBusInterfaceVTable vtable = { &Glue::MethodCall, &Glue::PropertyGet, nullptr, { nullptr } };
    m_objectId = g_dbus_connection_register_object(m_bus, ITEM_PATH, node->interfaces[0], &vtable, this,
                                                   nullptr, &error);
    g_dbus_node_info_unref(node);
    if ( !m_objectId )
    {
        wxLogTrace("lumora", "StatusNotifierItem: %s", error->message);
        g_error_free(error);
        return false;
    }

    // The name the protocol asks for: one per process and item.
    static int s_items = 0;
    m_busName = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(++s_items);
    GVariant* owned = Ask(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "RequestName", g_variant_new("(su)", m_busName.c_str(), 4u /* do not queue */), "(u)");
    guint32 answer = 0;
    if ( owned )
    {
        g_variant_get(owned, "(u)", &answer);
        g_variant_unref(owned);
    }
    if ( answer != 1 /* primary owner */ )
    {
        wxLogTrace("lumora", "StatusNotifierItem: the name %s is not ours", m_busName);
        return false;
    }

    m_menu.reset(new StatusNotifierMenu(MENU_PATH, menu, m_handlers.chosen));
    m_registration.reset(new StatusNotifierRegistration(m_bus, m_busName));
    m_signalId = g_dbus_connection_signal_subscribe(m_bus, WATCHER, WATCHER, nullptr, WATCHER_PATH, nullptr,
                                                    G_DBUS_SIGNAL_FLAGS_NONE, &Glue::WatcherSignal, this, nullptr);
    m_watchId = g_bus_watch_name_on_connection(m_bus, WATCHER, G_BUS_NAME_WATCHER_FLAGS_NONE, &Glue::WatcherAppeared,
                                               &Glue::WatcherVanished, this, nullptr);
    wxLogTrace("lumora", "StatusNotifierItem: %s on the session bus", m_busName);
    return true;
}

StatusNotifierItem::~StatusNotifierItem()
{
    // After these, GDBus calls none of our functions again, whatever it still has queued.
    if ( m_watchId )
        g_bus_unwatch_name(m_watchId);
    if ( m_signalId )
        g_dbus_connection_signal_unsubscribe(m_bus, m_signalId);
    m_registration.reset();
    m_menu.reset();
    if ( m_objectId )
        g_dbus_connection_unregister_object(m_bus, m_objectId);
    if ( !m_busName.empty() )
    {
        // The panels drop the item as soon as its name is gone.
        GVariant* released = Ask(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                 "ReleaseName", g_variant_new("(s)", m_busName.c_str()), "(u)");
        if ( released )
            g_variant_unref(released);
    }
    g_object_unref(m_bus);
}

void StatusNotifierItem::SetIcon(const wxBitmapBundle& icon)
{
    m_iconPixmaps.clear();
    if ( icon.IsOk() )
    {
        for ( int scale = 1; scale <= 2; ++scale )
        {
            const wxBitmap bitmap = icon.GetBitmap(icon.GetDefaultSize() * scale);
            if ( bitmap.IsOk() )
                m_iconPixmaps.push_back(ToPixmap(bitmap.ConvertToImage()));
        }
    }
    Emit("NewIcon");
}

StatusNotifierItem::Pixmap StatusNotifierItem::ToPixmap(const wxImage& image)
{
    Pixmap pixmap{image.GetWidth(), image.GetHeight(), {}};
    pixmap.pixels.reserve(static_cast<size_t>(pixmap.width) * pixmap.height * 4);
    for ( int y = 0; y < pixmap.height; ++y )
    {
        for ( int x = 0; x < pixmap.width; ++x )
        {
            const unsigned char alpha = image.HasAlpha() ? image.GetAlpha(x, y)
                                                          : (image.IsTransparent(x, y) ? 0 : 255);
            pixmap.pixels.push_back(alpha);
            pixmap.pixels.push_back(image.GetRed(x, y));
            pixmap.pixels.push_back(image.GetGreen(x, y));
            pixmap.pixels.push_back(image.GetBlue(x, y));
        }
    }
    return pixmap;
}

void StatusNotifierItem::SetToolTip(const wxString& text)
{
    m_toolTip = text;
    Emit("NewToolTip");
}

void StatusNotifierItem::UpdateMenu(const wxMenu& menu)
{
    if ( m_menu )
        m_menu->Update(menu);
}

GVariant* StatusNotifierItem::GetProperty(const char* name) const
{
    const std::string property = name;
    if ( property == "Category" )
        return g_variant_new_string("ApplicationStatus");
    if ( property == "Id" )
        return g_variant_new_string(ITEM_ID);
    if ( property == "Title" )
        return g_variant_new_string(m_title.utf8_str());
    if ( property == "Status" )
        return g_variant_new_string("Active");
    if ( property == "WindowId" )
        return g_variant_new_int32(0);
    if ( property == "IconName" || property == "OverlayIconName" || property == "AttentionIconName"
         || property == "AttentionMovieName" )
        return g_variant_new_string("");
    if ( property == "IconPixmap" )
    {
        if ( m_iconPixmaps.empty() )
            return NoPixmaps();
        std::vector<GVariant*> pixmaps;
        for ( const Pixmap& icon : m_iconPixmaps )
        {
            GVariant* pixels = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, icon.pixels.data(), icon.pixels.size(), 1);
            pixmaps.push_back(g_variant_new("(ii@ay)", icon.width, icon.height, pixels));
        }
        return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), pixmaps.data(), pixmaps.size());
    }
    if ( property == "OverlayIconPixmap" || property == "AttentionIconPixmap" )
        return NoPixmaps();
    if ( property == "ToolTip" )
        return g_variant_new("(s@a(iiay)ss)", "", NoPixmaps(), static_cast<const char*>(m_toolTip.utf8_str()), "");
    if ( property == "ItemIsMenu" )
        return g_variant_new_boolean(FALSE);
    if ( property == "Menu" )
        return g_variant_new_object_path(MENU_PATH);
    return nullptr;
}

void StatusNotifierItem::OnMethodCall(const char* method, GVariant*)
{
    // A host sends Activate for a left click; the menu it shows itself, from our menu object.
    wxLogTrace("lumora", "StatusNotifierItem: %s from the panel", method);
    if ( std::string(method) == "Activate" && m_handlers.activated )
        m_handlers.activated();
}

void StatusNotifierItem::Emit(const char* signal)
{
    g_dbus_connection_emit_signal(m_bus, nullptr, ITEM_PATH, ITEM_INTERFACE, signal, nullptr, nullptr);
}

void StatusNotifierItem::OnWatcherAppeared()
{
    AskForHost();
    m_registration->Begin();
}

void StatusNotifierItem::OnWatcherVanished()
{
    wxLogTrace("lumora", "StatusNotifierItem: no watcher");
    m_registration->End();
    SetShown(false, false);
}

void StatusNotifierItem::OnWatcherSignal(const char* signal, GVariant* parameters)
{
    const std::string name = signal;
    if ( name == "StatusNotifierHostRegistered" )
    {
        AskForHost();
        return;
    }
    if ( name != "StatusNotifierItemRegistered" && name != "StatusNotifierItemUnregistered" )
        return;
    const char* service = nullptr;
    g_variant_get(parameters, "(&s)", &service);
    if ( !service || !m_registration->IsOurs(service) )
        return;
    const bool taken = name == "StatusNotifierItemRegistered";
    if ( taken )
        m_registration->Taken();
    else
        m_registration->Dropped();
    SetShown(taken, m_hostThere);
}

void StatusNotifierItem::AskForHost()
{
    GVariant* reply = Ask(m_bus, WATCHER, WATCHER_PATH, "org.freedesktop.DBus.Properties", "Get",
                          g_variant_new("(ss)", WATCHER, "IsStatusNotifierHostRegistered"), "(v)");
    bool there = false;
    if ( reply )
    {
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        there = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
        g_variant_unref(value);
        g_variant_unref(reply);
    }
    SetShown(m_registered, there);
}

void StatusNotifierItem::SetShown(bool registered, bool hostThere)
{
    const bool wasShown = IsShown();
    m_registered = registered;
    m_hostThere = hostThere;
    if ( IsShown() == wasShown )
        return;
    wxLogTrace("lumora", "StatusNotifierItem: %s", IsShown() ? "shown by a panel" : "shown by no panel");
    if ( m_handlers.shownChanged )
        m_handlers.shownChanged(IsShown());
}

#endif // __WXMSW__
