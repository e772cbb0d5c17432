#include "ui/StatusNotifierMenu.h"

// The session bus and its menu protocol are of the free desktops; Windows has a tray of its own.
#ifndef __WXMSW__

#include <wx/menu.h>

#include <libdbusmenu-glib/menuitem.h>
#include <libdbusmenu-glib/server.h>

#include <dlfcn.h>

namespace
{
// The toolkit's "&" marks a mnemonic, "&&" an ampersand; the menu protocol writes them "_" and
// "&", and a plain "_" as "__". An accelerator after a tab has no place there.
wxString MenuLabel(const wxString& label)
{
    wxString out;
    for ( size_t i = 0; i < label.length() && label[i] != '\t'; ++i )
    {
        const wxUniChar c = label[i];
        if ( c == '&' && i + 1 < label.length() && label[i + 1] == '&' )
        {
            out += '&';
            ++i;
        }
        else if ( c == '&' )
            out += '_';
        else if ( c == '_' )
            out += "__";
        else
            out += c;
    }
    return out;
}
}

StatusNotifierMenu::StatusNotifierMenu(const char* objectPath, const wxMenu& menu, const Chosen& chosen)
    : m_chosen(chosen)
{
    // Its object types stay registered with GLib for the life of the process, so its code must
    // too, whenever the plug-in that uses it is unloaded and loaded again.
    dlopen("libdbusmenu-glib.so.4", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);

    m_server = dbusmenu_server_new(objectPath);
    m_root = dbusmenu_menuitem_new();
    for ( const wxMenuItem* item : menu.GetMenuItems() )
    {
        DbusmenuMenuitem* mirror = dbusmenu_menuitem_new();
        if ( item->IsSeparator() )
        {
            dbusmenu_menuitem_property_set(mirror, DBUSMENU_MENUITEM_PROP_TYPE, "separator");
        }
        else
        {
            if ( item->IsCheckable() )
                dbusmenu_menuitem_property_set(mirror, DBUSMENU_MENUITEM_PROP_TOGGLE_TYPE,
                                               DBUSMENU_MENUITEM_TOGGLE_CHECK);
            g_signal_connect(mirror, DBUSMENU_MENUITEM_SIGNAL_ITEM_ACTIVATED, G_CALLBACK(&StatusNotifierMenu::OnActivated),
                             this);
            m_items.emplace_back(item->GetId(), mirror);
        }
        dbusmenu_menuitem_child_append(m_root, mirror);
        g_object_unref(mirror);
    }
    Update(menu);
    dbusmenu_server_set_root(m_server, m_root);
}

StatusNotifierMenu::~StatusNotifierMenu()
{
    // The library may still deliver a choice from its idle time: nobody must be there to get it.
    for ( const auto& item : m_items )
        g_signal_handlers_disconnect_by_data(item.second, this);
    g_object_unref(m_server);
    g_object_unref(m_root);
}

void StatusNotifierMenu::Update(const wxMenu& menu)
{
    for ( const auto& item : m_items )
    {
        const wxMenuItem* source = menu.FindItem(item.first);
        if ( !source )
            continue;
        dbusmenu_menuitem_property_set(item.second, DBUSMENU_MENUITEM_PROP_LABEL,
                                       MenuLabel(source->GetItemLabel()).utf8_str());
        dbusmenu_menuitem_property_set_bool(item.second, DBUSMENU_MENUITEM_PROP_ENABLED, source->IsEnabled());
        if ( source->IsCheckable() )
            dbusmenu_menuitem_property_set_int(item.second, DBUSMENU_MENUITEM_PROP_TOGGLE_STATE,
                                               source->IsChecked() ? DBUSMENU_MENUITEM_TOGGLE_STATE_CHECKED
                                                                   : DBUSMENU_MENUITEM_TOGGLE_STATE_UNCHECKED);
    }
}

void StatusNotifierMenu::OnActivated(DbusmenuMenuitem* item, unsigned, void* self)
{
    StatusNotifierMenu* menu = static_cast<StatusNotifierMenu*>(self);
    for ( const auto& entry : menu->m_items )
    {
        if ( entry.second != item )
            continue;
        // A check item gets the tick it did not have, as a click on the toolkit's own menu gives it.
        const bool checkable = dbusmenu_menuitem_property_get(item, DBUSMENU_MENUITEM_PROP_TOGGLE_TYPE) != nullptr;
        const bool checked = dbusmenu_menuitem_property_get_int(item, DBUSMENU_MENUITEM_PROP_TOGGLE_STATE)
                             == DBUSMENU_MENUITEM_TOGGLE_STATE_CHECKED;
        if ( menu->m_chosen )
            menu->m_chosen(entry.first, checkable && !checked);
        return;
    }
}

#endif // __WXMSW__
