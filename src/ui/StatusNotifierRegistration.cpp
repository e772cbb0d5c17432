#include "ui/StatusNotifierRegistration.h"

// The session bus is of the free desktops; Windows has a tray of its own.
#ifndef __WXMSW__

#include <wx/log.h>

#include <gio/gio.h>

namespace
{
const char WATCHER[] = "org.kde.StatusNotifierWatcher";
const char WATCHER_PATH[] = "/StatusNotifierWatcher";
}

class StatusNotifierRegistration::Glue
{
public:
    static gboolean Again(void* self)
    {
        auto* registration = static_cast<StatusNotifierRegistration*>(self);
        registration->m_againSource = 0;
        registration->Register();
        return G_SOURCE_REMOVE;
    }

    static gboolean Check(void* self)
    {
        auto* registration = static_cast<StatusNotifierRegistration*>(self);
        registration->m_checkSource = 0;
        registration->Check();
        return G_SOURCE_REMOVE;
    }

    static void Listed(GObject* bus, GAsyncResult* result, void* self)
    {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
        if ( !reply )
        {
            // Cancelled: the registration is gone, and so is self.
            if ( !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED) )
                wxLogTrace("lumora", "StatusNotifierItem: the watcher's list: %s", error->message);
            g_error_free(error);
            return;
        }
        GVariant* items = nullptr;
        g_variant_get(reply, "(v)", &items);
        static_cast<StatusNotifierRegistration*>(self)->OnListed(items);
        g_variant_unref(items);
        g_variant_unref(reply);
    }
};

StatusNotifierRegistration::StatusNotifierRegistration(GDBusConnection* bus, const std::string& busName)
    : m_bus(bus)
    , m_busName(busName)
    , m_cancellable(g_cancellable_new())
{
}

StatusNotifierRegistration::~StatusNotifierRegistration()
{
    Forget();
    g_object_unref(m_cancellable);
}

void StatusNotifierRegistration::Begin()
{
    Forget();
    m_again = 0;
    m_takenAt = 0;
    Register();
}

void StatusNotifierRegistration::End()
{
    Forget();
    m_again = 0;
    m_takenAt = 0;
}

void StatusNotifierRegistration::Taken()
{
    m_takenAt = g_get_monotonic_time();
}

void StatusNotifierRegistration::Dropped()
{
    // Already on its way again: one drop said twice (its signal, then its list) is one drop.
    if ( m_againSource )
        return;
    Forget();
    if ( m_takenAt && g_get_monotonic_time() - m_takenAt >= KEPT_SECONDS * G_USEC_PER_SEC )
        m_again = 0;
    m_takenAt = 0;
    if ( m_again >= MOST_AGAIN )
    {
        wxLogTrace("lumora", "StatusNotifierItem: the watcher dropped %s %d times, it is not registered again",
                   m_busName, m_again + 1);
        return;
    }
    const unsigned pause = static_cast<unsigned>(FIRST_PAUSE_SECONDS) << m_again;
    ++m_again;
    wxLogTrace("lumora", "StatusNotifierItem: the watcher dropped %s, registering it again in %u s", m_busName, pause);
    m_againSource = g_timeout_add_seconds(pause, &Glue::Again, this);
}

void StatusNotifierRegistration::Register()
{
    Forget();
    // Sent without waiting for the answer: a watcher may well ask us things before it gives one.
    // That it took the item, its signal tells, or its list a few seconds later.
    g_dbus_connection_call(m_bus, WATCHER, WATCHER_PATH, WATCHER, "RegisterStatusNotifierItem",
                           g_variant_new("(s)", m_busName.c_str()), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                           nullptr, nullptr, nullptr);
    wxLogTrace("lumora", "StatusNotifierItem: registering %s with the watcher", m_busName);
    m_checkSource = g_timeout_add_seconds(CHECK_SECONDS, &Glue::Check, this);
}

void StatusNotifierRegistration::Check()
{
    g_dbus_connection_call(m_bus, WATCHER, WATCHER_PATH, "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", WATCHER, "RegisteredStatusNotifierItems"), G_VARIANT_TYPE("(v)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, m_cancellable, &Glue::Listed, this);
}

void StatusNotifierRegistration::OnListed(GVariant* items)
{
    if ( !g_variant_is_of_type(items, G_VARIANT_TYPE_STRING_ARRAY) )
        return;
    GVariantIter iter;
    g_variant_iter_init(&iter, items);
    const char* item = nullptr;
    while ( g_variant_iter_next(&iter, "&s", &item) )
    {
        if ( IsOurs(item) )
        {
            wxLogTrace("lumora", "StatusNotifierItem: the watcher lists %s", m_busName);
            if ( !m_takenAt )
                m_takenAt = g_get_monotonic_time();
            return;
        }
    }
    Dropped();
}

bool StatusNotifierRegistration::IsOurs(const std::string& item) const
{
    if ( item.find(m_busName) != std::string::npos )
        return true;
    // ":1.4" is not ":1.42".
    const char* ownName = g_dbus_connection_get_unique_name(m_bus);
    if ( !ownName )
        return false;
    const std::string unique = ownName;
    return item.compare(0, unique.size(), unique) == 0
           && (item.size() == unique.size() || item[unique.size()] == '/' || item[unique.size()] == '@');
}

void StatusNotifierRegistration::Forget()
{
    if ( m_againSource )
        g_source_remove(m_againSource);
    if ( m_checkSource )
        g_source_remove(m_checkSource);
    m_againSource = 0;
    m_checkSource = 0;
    // An answer already on its way finds its question cancelled and is not taken.
    g_cancellable_cancel(m_cancellable);
    g_object_unref(m_cancellable);
    m_cancellable = g_cancellable_new();
}

#endif // __WXMSW__
