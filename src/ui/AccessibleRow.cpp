#ifdef __WXGTK__

#include "ui/AccessibleViewGlue.h"

#include <wx/app.h>

#include <string>

// The accessible object of a view's row: its name, description and states as the view says,
// its place on screen, and its actions.
namespace
{
typedef struct
{
    AtkObject parent;
    AccessibleView::Glue* glue; // null once the row or the view is gone
    AccessibleView::Row row;
} ParloRowAccessible;

typedef struct
{
    AtkObjectClass parent_class;
} ParloRowAccessibleClass;

void ComponentInit(AtkComponentIface* iface);
void ActionInit(AtkActionIface* iface);

GType parlo_row_accessible_get_type();
G_DEFINE_TYPE_WITH_CODE(ParloRowAccessible, parlo_row_accessible, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, ComponentInit)
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, ActionInit))

ParloRowAccessible* RowOf(gpointer accessible)
{
    return reinterpret_cast<ParloRowAccessible*>(accessible);
}

// The row's glue while the row may still be read and acted on, else null.
AccessibleView::Glue* LiveGlue(gpointer accessible)
{
    ParloRowAccessible* row = RowOf(accessible);
    return row->glue && !row->glue->deleted.count(row->row) ? row->glue : nullptr;
}

const gchar* RowGetName(AtkObject* accessible)
{
    AccessibleView::Glue* glue = LiveGlue(accessible);
    if ( !glue )
        return "";
    std::string& name = glue->toldNames[RowOf(accessible)->row];
    name = glue->view->GetRowName(RowOf(accessible)->row).utf8_str().data();
    return name.c_str();
}

const gchar* RowGetDescription(AtkObject* accessible)
{
    AccessibleView::Glue* glue = LiveGlue(accessible);
    if ( !glue )
        return "";
    std::string& description = glue->toldDescriptions[RowOf(accessible)->row];
    description = glue->view->GetRowDescription(RowOf(accessible)->row).utf8_str().data();
    return description.c_str();
}

AtkRole RowGetRole(AtkObject*)
{
    return ATK_ROLE_TREE_ITEM;
}

AtkObject* RowGetParent(AtkObject* accessible)
{
    ParloRowAccessible* row = RowOf(accessible);
    return row->glue ? row->glue->accessible : nullptr;
}

gint RowGetIndexInParent(AtkObject* accessible)
{
    ParloRowAccessible* row = RowOf(accessible);
    if ( !row->glue )
        return -1;
    row->glue->Rows();
    const auto found = row->glue->index.find(row->row);
    return found == row->glue->index.end() ? -1 : static_cast<gint>(found->second);
}

AtkStateSet* RowRefStateSet(AtkObject* accessible)
{
    AtkStateSet* states = atk_state_set_new();
    ParloRowAccessible* row = RowOf(accessible);
    if ( !row->glue )
    {
        atk_state_set_add_state(states, ATK_STATE_DEFUNCT);
        return states;
    }
    const AccessibleView* view = row->glue->view;
    for ( AtkStateType state : { ATK_STATE_ENABLED, ATK_STATE_SENSITIVE, ATK_STATE_VISIBLE, ATK_STATE_SHOWING,
                                 ATK_STATE_FOCUSABLE, ATK_STATE_SELECTABLE, ATK_STATE_TRANSIENT } )
        atk_state_set_add_state(states, state);
    if ( view->IsRowExpandable(row->row) )
    {
        atk_state_set_add_state(states, ATK_STATE_EXPANDABLE);
        if ( view->IsRowExpanded(row->row) )
            atk_state_set_add_state(states, ATK_STATE_EXPANDED);
    }
    if ( view->GetCurrentRow() == row->row )
    {
        atk_state_set_add_state(states, ATK_STATE_SELECTED);
        if ( gtk_widget_has_focus(row->glue->widget) )
            atk_state_set_add_state(states, ATK_STATE_FOCUSED);
    }
    return states;
}

AtkAttributeSet* RowGetAttributes(AtkObject* accessible)
{
    ParloRowAccessible* row = RowOf(accessible);
    if ( !row->glue )
        return nullptr;
    AtkAttribute* level = static_cast<AtkAttribute*>(g_malloc(sizeof(AtkAttribute)));
    level->name = g_strdup("level");
    level->value = g_strdup_printf("%d", row->glue->view->GetRowLevel(row->row));
    return g_slist_prepend(nullptr, level);
}

void parlo_row_accessible_class_init(ParloRowAccessibleClass* klass)
{
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = RowGetName;
    atk->get_description = RowGetDescription;
    atk->get_role = RowGetRole;
    atk->get_parent = RowGetParent;
    atk->get_index_in_parent = RowGetIndexInParent;
    atk->ref_state_set = RowRefStateSet;
    atk->get_attributes = RowGetAttributes;
}

void parlo_row_accessible_init(ParloRowAccessible* row)
{
    row->glue = nullptr;
    row->row = nullptr;
}

// --- the place: where the row is shown, so that a magnifier follows it ----------------------

void RowGetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType coords)
{
    *x = *y = -1;
    *width = *height = 0;
    AccessibleView::Glue* glue = LiveGlue(component);
    if ( !glue || !glue->accessible )
        return;
    const wxRect rect = glue->view->GetRowRect(RowOf(component)->row);
    if ( rect.IsEmpty() )
        return;
    gint left = 0;
    gint top = 0;
    // Rows stand on the canvas; in the canvas's own terms, that is where the canvas starts.
    if ( coords != ATK_XY_PARENT )
        atk_component_get_extents(ATK_COMPONENT(glue->accessible), &left, &top, nullptr, nullptr, coords);
    *x = left + rect.x;
    *y = top + rect.y;
    *width = rect.width;
    *height = rect.height;
}

gboolean RowGrabFocus(AtkComponent* component)
{
    AccessibleView::Glue* glue = LiveGlue(component);
    if ( !glue )
        return FALSE;
    glue->view->SelectRow(RowOf(component)->row);
    gtk_widget_grab_focus(glue->widget);
    return TRUE;
}

void ComponentInit(AtkComponentIface* iface)
{
    iface->get_extents = RowGetExtents;
    iface->grab_focus = RowGrabFocus;
}

// --- the actions: open the row, show its menu -----------------------------------------------

const AccessibleView::RowAction ACTIONS[] = { AccessibleView::ROW_OPEN, AccessibleView::ROW_MENU };
const char* const ACTION_NAMES[] = { "activate", "menu" };

// The row's i-th action among those it has, or false.
bool ActionAt(gpointer accessible, gint i, AccessibleView::RowAction& action)
{
    AccessibleView::Glue* glue = LiveGlue(accessible);
    if ( !glue )
        return false;
    for ( AccessibleView::RowAction candidate : ACTIONS )
    {
        if ( glue->view->HasRowAction(RowOf(accessible)->row, candidate) && i-- == 0 )
        {
            action = candidate;
            return true;
        }
    }
    return false;
}

gint ActionGetNActions(AtkAction* accessible)
{
    gint count = 0;
    AccessibleView::RowAction action;
    while ( ActionAt(accessible, count, action) )
        ++count;
    return count;
}

const gchar* ActionGetName(AtkAction* accessible, gint i)
{
    AccessibleView::RowAction action;
    return ActionAt(accessible, i, action) ? ACTION_NAMES[action] : nullptr;
}

gboolean ActionDoAction(AtkAction* accessible, gint i)
{
    AccessibleView::RowAction action;
    if ( !wxTheApp || !ActionAt(accessible, i, action) )
        return FALSE;
    // Answered first: a menu's loop would hold the reader's call. The row may go meanwhile, and
    // its object then says so.
    AtkObject* object = ATK_OBJECT(g_object_ref(accessible));
    wxTheApp->CallAfter([object, action] {
        if ( AccessibleView::Glue* glue = LiveGlue(object) )
            glue->view->DoRowAction(RowOf(object)->row, action);
        g_object_unref(object);
    });
    return TRUE;
}

void ActionInit(AtkActionIface* iface)
{
    iface->get_n_actions = ActionGetNActions;
    iface->get_name = ActionGetName;
    iface->do_action = ActionDoAction;
}
}

namespace AccessibleRow
{
AtkObject* Make(AccessibleView::Glue* glue, AccessibleView::Row row)
{
    AtkObject* object = ATK_OBJECT(g_object_new(parlo_row_accessible_get_type(), nullptr));
    RowOf(object)->glue = glue;
    RowOf(object)->row = row;
    atk_object_set_parent(object, glue->accessible);
    return object;
}

AtkObject* Gone(AtkObject* parent)
{
    AtkObject* row = ATK_OBJECT(g_object_new(parlo_row_accessible_get_type(), nullptr));
    atk_object_set_parent(row, parent);
    return row;
}

void Forget(AtkObject* object)
{
    RowOf(object)->glue = nullptr;
    atk_object_notify_state_change(object, ATK_STATE_DEFUNCT, TRUE);
    g_object_unref(object);
}
}

#endif
