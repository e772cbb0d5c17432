#ifdef __WXGTK__

#include "ui/AccessibleViewGlue.h"

#include <gtk/gtk-a11y.h>

#include <dlfcn.h>

#include <string>

// The accessible object of a toolkit canvas: the toolkit's own, unless the canvas speaks for a
// view. Then it reads as a tree (or a status bar), its children are the view's rows, the row the
// keys act on is its selection, and a point on it finds the row shown there.
namespace
{
typedef struct
{
    GtkContainerAccessible parent;
} ParloViewAccessible;

typedef struct
{
    GtkContainerAccessibleClass parent_class;
} ParloViewAccessibleClass;

void SelectionInit(AtkSelectionIface* iface);
void ComponentInit(AtkComponentIface* iface);

GType parlo_view_accessible_get_type();
G_DEFINE_TYPE_WITH_CODE(ParloViewAccessible, parlo_view_accessible, GTK_TYPE_CONTAINER_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_SELECTION, SelectionInit)
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, ComponentInit))

// The toolkit's own way of finding what stands at a point, for canvases of its own.
AtkObject* (*s_toolkitAccessibleAt)(AtkComponent*, gint, gint, AtkCoordType) = nullptr;

AccessibleView::Glue* TreeGlue(AtkObject* accessible)
{
    AccessibleView::Glue* glue = AccessibleView::Glue::Of(accessible);
    return glue && glue->kind == AccessibleView::TREE ? glue : nullptr;
}

const gchar* ViewGetName(AtkObject* accessible)
{
    AccessibleView::Glue* glue = AccessibleView::Glue::Of(accessible);
    if ( !glue )
        return ATK_OBJECT_CLASS(parlo_view_accessible_parent_class)->get_name(accessible);
    // Kept until the next call, as ATK expects of a name it hands out.
    static std::string s_name;
    s_name = glue->view->GetAccessibleName().utf8_str().data();
    return s_name.c_str();
}

AtkRole ViewGetRole(AtkObject* accessible)
{
    AccessibleView::Glue* glue = AccessibleView::Glue::Of(accessible);
    if ( !glue )
        return ATK_OBJECT_CLASS(parlo_view_accessible_parent_class)->get_role(accessible);
    return glue->kind == AccessibleView::TREE ? ATK_ROLE_TREE : ATK_ROLE_STATUSBAR;
}

gint ViewGetNChildren(AtkObject* accessible)
{
    AccessibleView::Glue* glue = AccessibleView::Glue::Of(accessible);
    if ( !glue )
        return ATK_OBJECT_CLASS(parlo_view_accessible_parent_class)->get_n_children(accessible);
    return static_cast<gint>(glue->Rows().size());
}

AtkObject* ViewRefChild(AtkObject* accessible, gint i)
{
    AccessibleView::Glue* glue = AccessibleView::Glue::Of(accessible);
    if ( !glue )
        return ATK_OBJECT_CLASS(parlo_view_accessible_parent_class)->ref_child(accessible, i);
    const std::vector<AccessibleView::Row>& rows = glue->Rows();
    // Asked for a row that has gone since the reader counted them: it gets a row that says so.
    if ( i < 0 || static_cast<size_t>(i) >= rows.size() || glue->deleted.count(rows[i]) )
        return AccessibleRow::Gone(accessible);
    return ATK_OBJECT(g_object_ref(glue->RowObject(rows[i])));
}

void parlo_view_accessible_class_init(ParloViewAccessibleClass* klass)
{
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = ViewGetName;
    atk->get_role = ViewGetRole;
    atk->get_n_children = ViewGetNChildren;
    atk->ref_child = ViewRefChild;
}

void parlo_view_accessible_init(ParloViewAccessible*)
{
}

// --- the selection: the row the keys act on -------------------------------------------------

// The selected row, if the reader may be told of it.
AccessibleView::Row SelectedRow(AccessibleView::Glue* glue)
{
    const AccessibleView::Row row = glue ? glue->view->GetCurrentRow() : nullptr;
    return row && glue->IsLiveRow(row) ? row : nullptr;
}

gboolean ViewAddSelection(AtkSelection* selection, gint i)
{
    AccessibleView::Glue* glue = TreeGlue(ATK_OBJECT(selection));
    if ( !glue )
        return FALSE;
    const std::vector<AccessibleView::Row>& rows = glue->Rows();
    if ( i < 0 || static_cast<size_t>(i) >= rows.size() || glue->deleted.count(rows[i]) )
        return FALSE;
    glue->view->SelectRow(rows[i]);
    return glue->view->GetCurrentRow() == rows[i];
}

// One row is always selected once there are rows: there is nothing to take away.
gboolean ViewClearSelection(AtkSelection*)
{
    return FALSE;
}

gboolean ViewRemoveSelection(AtkSelection*, gint)
{
    return FALSE;
}

gboolean ViewSelectAll(AtkSelection*)
{
    return FALSE;
}

AtkObject* ViewRefSelection(AtkSelection* selection, gint i)
{
    const AccessibleView::Row row = SelectedRow(TreeGlue(ATK_OBJECT(selection)));
    if ( i != 0 || !row )
        return nullptr;
    return ATK_OBJECT(g_object_ref(TreeGlue(ATK_OBJECT(selection))->RowObject(row)));
}

gint ViewGetSelectionCount(AtkSelection* selection)
{
    return SelectedRow(TreeGlue(ATK_OBJECT(selection))) ? 1 : 0;
}

gboolean ViewIsChildSelected(AtkSelection* selection, gint i)
{
    AccessibleView::Glue* glue = TreeGlue(ATK_OBJECT(selection));
    const AccessibleView::Row row = SelectedRow(glue);
    if ( !row )
        return FALSE;
    const std::vector<AccessibleView::Row>& rows = glue->Rows();
    return i >= 0 && static_cast<size_t>(i) < rows.size() && rows[i] == row;
}

void SelectionInit(AtkSelectionIface* iface)
{
    iface->add_selection = ViewAddSelection;
    iface->clear_selection = ViewClearSelection;
    iface->ref_selection = ViewRefSelection;
    iface->get_selection_count = ViewGetSelectionCount;
    iface->is_child_selected = ViewIsChildSelected;
    iface->remove_selection = ViewRemoveSelection;
    iface->select_all_selection = ViewSelectAll;
}

// --- the place: which row stands at a point -------------------------------------------------

AtkObject* ViewRefAccessibleAt(AtkComponent* component, gint x, gint y, AtkCoordType coords)
{
    AccessibleView::Glue* glue = TreeGlue(ATK_OBJECT(component));
    if ( !glue )
        return s_toolkitAccessibleAt ? s_toolkitAccessibleAt(component, x, y, coords) : nullptr;
    // Asked of the view itself rather than of each row in turn: a tree may show thousands.
    gint left = 0;
    gint top = 0;
    atk_component_get_extents(component, &left, &top, nullptr, nullptr, coords);
    const AccessibleView::Row row = glue->view->GetRowAt(wxPoint(x - left, y - top));
    if ( !row || !glue->IsLiveRow(row) )
        return nullptr;
    return ATK_OBJECT(g_object_ref(glue->RowObject(row)));
}

void ComponentInit(AtkComponentIface* iface)
{
    // The toolkit's canvas already has a place; only the look-up by point is ours.
    s_toolkitAccessibleAt = iface->ref_accessible_at_point;
    iface->ref_accessible_at_point = ViewRefAccessibleAt;
}
}

namespace AccessibleCanvas
{
// Our object types then stay registered with GLib for the life of the process, and so must their
// code, however often this library is unloaded and loaded again.
void Install(GtkWidget* canvas)
{
    static bool s_installed = false;
    if ( s_installed )
        return;
    s_installed = true;
    Dl_info self;
    if ( dladdr(reinterpret_cast<void*>(&Install), &self) && self.dli_fname )
        dlopen(self.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    gpointer klass = g_type_class_ref(G_OBJECT_TYPE(canvas));
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), parlo_view_accessible_get_type());
    g_type_class_unref(klass);
}
}

#endif
