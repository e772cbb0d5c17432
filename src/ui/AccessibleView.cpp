#include "ui/AccessibleView.h"

#include <wx/app.h>
#include <wx/window.h>

#include <string>
#include <unordered_map>
#include <unordered_set>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#include <gtk/gtk-a11y.h>

#include <dlfcn.h>
#endif

namespace
{
// More rows coming or going at once than this are told as one change of what is shown.
const size_t MAX_ROWS_TOLD = 100;
}

#ifdef __WXGTK__
// The accessible object of a canvas that speaks for a view, and of each of its rows. GTK asks
// these; they ask the view, through the glue, for as long as both live.
struct AccessibleView::Glue
{
    AccessibleView* view;
    Kind kind;
    GtkWidget* widget = nullptr;
    // Ours once GTK has made it, that is once a screen reader has asked; not owned.
    AtkObject* accessible = nullptr;

    // The rows as a screen reader was last told of them: they stay so, rows deleted meanwhile
    // included (as defunct), until it is told what changed, so that a count it asked for holds
    // while it asks for each row.
    bool rowsKnown = false;
    std::vector<Row> rows;
    std::unordered_map<Row, size_t> index;
    std::unordered_set<Row> deleted;
    // The rows' accessible objects that a screen reader has seen, each with the name it was told.
    std::unordered_map<Row, AtkObject*> rowObjects;
    std::unordered_map<Row, std::string> toldNames;
    // What each row's description said when last asked: kept for as long as ATK may hold it.
    std::unordered_map<Row, std::string> toldDescriptions;
    Row current = nullptr;
    bool flushPending = false;

    Glue(AccessibleView* v, Kind k) : view(v), kind(k) {}
    ~Glue();

    const std::vector<Row>& Rows();
    AtkObject* RowObject(Row row);
    void ScheduleFlush();
    void Flush();
};

namespace
{
const char* const VIEW_KEY = "parlo-accessible-view";

// The glues alive, so that a flush asked for by one that is gone meanwhile finds nothing to do.
std::unordered_set<const AccessibleView::Glue*> s_live;

AccessibleView::Glue* GlueOf(GtkWidget* widget)
{
    return widget ? static_cast<AccessibleView::Glue*>(g_object_get_data(G_OBJECT(widget), VIEW_KEY)) : nullptr;
}

// --- the canvas ---------------------------------------------------------------------------

typedef struct
{
    GtkContainerAccessible parent;
} ParloViewAccessible;

typedef struct
{
    GtkContainerAccessibleClass parent_class;
} ParloViewAccessibleClass;

GType parlo_view_accessible_get_type();
G_DEFINE_TYPE(ParloViewAccessible, parlo_view_accessible, GTK_TYPE_CONTAINER_ACCESSIBLE)

AtkObject* GoneRow(AtkObject* parent);

AccessibleView::Glue* GlueOf(AtkObject* accessible)
{
    AccessibleView::Glue* glue = GlueOf(gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible)));
    if ( glue && glue->view )
    {
        glue->accessible = accessible;
        return glue;
    }
    return nullptr;
}

const gchar* ViewGetName(AtkObject* accessible)
{
    AccessibleView::Glue* glue = GlueOf(accessible);
    if ( !glue )
        return ATK_OBJECT_CLASS(parlo_view_accessible_parent_class)->get_name(accessible);
    // Kept until the next call, as ATK expects of a name it hands out.
    static std::string s_name;
    s_name = glue->view->GetAccessibleName().utf8_str().data();
    return s_name.c_str();
}

AtkRole ViewGetRole(AtkObject* accessible)
{
    AccessibleView::Glue* glue = GlueOf(accessible);
    if ( !glue )
        return ATK_OBJECT_CLASS(parlo_view_accessible_parent_class)->get_role(accessible);
    return glue->kind == AccessibleView::TREE ? ATK_ROLE_TREE : ATK_ROLE_STATUSBAR;
}

gint ViewGetNChildren(AtkObject* accessible)
{
    AccessibleView::Glue* glue = GlueOf(accessible);
    if ( !glue )
        return ATK_OBJECT_CLASS(parlo_view_accessible_parent_class)->get_n_children(accessible);
    return static_cast<gint>(glue->Rows().size());
}

AtkObject* ViewRefChild(AtkObject* accessible, gint i)
{
    AccessibleView::Glue* glue = GlueOf(accessible);
    if ( !glue )
        return ATK_OBJECT_CLASS(parlo_view_accessible_parent_class)->ref_child(accessible, i);
    const std::vector<AccessibleView::Row>& rows = glue->Rows();
    // Asked for a row that has gone since the reader counted them: it gets a row that says so.
    if ( i < 0 || static_cast<size_t>(i) >= rows.size() || glue->deleted.count(rows[i]) )
        return GoneRow(accessible);
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

// --- a row ----------------------------------------------------------------------------------

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

GType parlo_row_accessible_get_type();
G_DEFINE_TYPE(ParloRowAccessible, parlo_row_accessible, ATK_TYPE_OBJECT)

ParloRowAccessible* RowOf(AtkObject* accessible)
{
    return reinterpret_cast<ParloRowAccessible*>(accessible);
}

const gchar* RowGetName(AtkObject* accessible)
{
    ParloRowAccessible* row = RowOf(accessible);
    if ( !row->glue || row->glue->deleted.count(row->row) )
        return "";
    std::string& name = row->glue->toldNames[row->row];
    name = row->glue->view->GetRowName(row->row).utf8_str().data();
    return name.c_str();
}

const gchar* RowGetDescription(AtkObject* accessible)
{
    ParloRowAccessible* row = RowOf(accessible);
    if ( !row->glue || row->glue->deleted.count(row->row) )
        return "";
    std::string& description = row->glue->toldDescriptions[row->row];
    description = row->glue->view->GetRowDescription(row->row).utf8_str().data();
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

AtkObject* GoneRow(AtkObject* parent)
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

// Every canvas of the toolkit gets an accessible object of ours, which is the toolkit's own unless
// the canvas speaks for a view. Our object types then stay registered with GLib for the life of the
// process, and so must their code, however often this library is unloaded and loaded again.
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

AccessibleView::Glue::~Glue()
{
    s_live.erase(this);
    if ( widget )
        g_object_set_data(G_OBJECT(widget), VIEW_KEY, nullptr);
    for ( auto& object : rowObjects )
        Forget(object.second);
}

const std::vector<AccessibleView::Row>& AccessibleView::Glue::Rows()
{
    if ( !rowsKnown )
    {
        rows.clear();
        index.clear();
        deleted.clear();
        view->ListRows(rows);
        for ( size_t i = 0; i < rows.size(); ++i )
            index[rows[i]] = i;
        rowsKnown = true;
    }
    return rows;
}

AtkObject* AccessibleView::Glue::RowObject(Row row)
{
    AtkObject*& object = rowObjects[row];
    if ( !object )
    {
        object = ATK_OBJECT(g_object_new(parlo_row_accessible_get_type(), nullptr));
        RowOf(object)->glue = this;
        RowOf(object)->row = row;
        atk_object_set_parent(object, accessible);
    }
    return object;
}

void AccessibleView::Glue::ScheduleFlush()
{
    if ( !accessible || flushPending || !wxTheApp )
        return;
    flushPending = true;
    // Once the window has taken the whole change: a poll brings many at once.
    s_live.insert(this);
    wxTheApp->CallAfter([this] {
        if ( s_live.count(this) )
            Flush();
    });
}

void AccessibleView::Glue::Flush()
{
    flushPending = false;
    if ( !accessible )
        return;
    if ( kind == STATUS_BAR )
    {
        g_object_notify(G_OBJECT(accessible), "accessible-name");
        return;
    }
    const std::vector<Row> before = rows;
    const bool knownBefore = rowsKnown;
    rowsKnown = false;
    Rows();
    if ( knownBefore )
    {
        const std::unordered_set<Row> now(rows.begin(), rows.end());
        const std::unordered_set<Row> was(before.begin(), before.end());
        std::vector<std::pair<size_t, Row>> gone;
        std::vector<Row> came;
        for ( size_t i = 0; i < before.size(); ++i )
        {
            if ( !now.count(before[i]) )
                gone.push_back({ i, before[i] });
        }
        for ( Row row : rows )
        {
            if ( !was.count(row) )
                came.push_back(row);
        }
        if ( gone.size() + came.size() <= MAX_ROWS_TOLD )
        {
            // From the bottom up, so that each index is right when it is told.
            for ( auto it = gone.rbegin(); it != gone.rend(); ++it )
            {
                const auto object = rowObjects.find(it->second);
                AtkObject* child =
                    object == rowObjects.end() ? GoneRow(accessible) : ATK_OBJECT(g_object_ref(object->second));
                g_signal_emit_by_name(accessible, "children-changed::remove", static_cast<guint>(it->first), child);
                g_object_unref(child);
            }
            for ( Row row : came )
                g_signal_emit_by_name(accessible, "children-changed::add", static_cast<guint>(index[row]),
                                      RowObject(row));
        }
        else
        {
            g_signal_emit_by_name(accessible, "visible-data-changed");
        }
    }
    // A row the reader has seen that now reads differently (a new status, a new count).
    for ( auto& object : rowObjects )
    {
        const auto told = toldNames.find(object.first);
        if ( told != toldNames.end() && told->second != view->GetRowName(object.first).utf8_str().data() )
            g_object_notify(G_OBJECT(object.second), "accessible-name");
    }
}

AccessibleView::AccessibleView(Kind kind)
    : m_glue(new Glue(this, kind))
{
}

AccessibleView::~AccessibleView()
{
    m_glue->view = nullptr;
}

void AccessibleView::AttachTo(wxWindow* window)
{
    GtkWidget* canvas = window->m_wxwindow;
    if ( !canvas )
        return;
    Install(canvas);
    m_glue->widget = canvas;
    g_object_set_data(G_OBJECT(canvas), VIEW_KEY, m_glue.get());
}

void AccessibleView::NotifyNameChanged()
{
    m_glue->ScheduleFlush();
}

void AccessibleView::NotifyRowsChanged()
{
    m_glue->ScheduleFlush();
}

void AccessibleView::NotifyRowDeleted(Row row)
{
    Glue& glue = *m_glue;
    if ( !glue.rowsKnown )
        return;
    glue.toldNames.erase(row);
    glue.toldDescriptions.erase(row);
    if ( row == glue.current )
        glue.current = nullptr;
    const auto object = glue.rowObjects.find(row);
    if ( object != glue.rowObjects.end() )
    {
        AtkObject* gone = object->second;
        glue.rowObjects.erase(object);
        Forget(gone);
    }
    // Never asked of the view again: its key may come back as another row's.
    if ( glue.index.count(row) )
        glue.deleted.insert(row);
    glue.ScheduleFlush();
}

void AccessibleView::NotifyCurrentRow(Row row)
{
    Glue& glue = *m_glue;
    if ( !glue.accessible || row == glue.current )
    {
        glue.current = row;
        return;
    }
    if ( glue.current )
    {
        const auto previous = glue.rowObjects.find(glue.current);
        if ( previous != glue.rowObjects.end() )
        {
            atk_object_notify_state_change(previous->second, ATK_STATE_SELECTED, FALSE);
            atk_object_notify_state_change(previous->second, ATK_STATE_FOCUSED, FALSE);
        }
    }
    glue.current = row;
    if ( !row )
        return;
    AtkObject* object = glue.RowObject(row);
    // What a screen reader speaks as the user moves: the new row, by name.
    g_signal_emit_by_name(glue.accessible, "active-descendant-changed", object);
    atk_object_notify_state_change(object, ATK_STATE_SELECTED, TRUE);
    if ( gtk_widget_has_focus(glue.widget) )
        atk_object_notify_state_change(object, ATK_STATE_FOCUSED, TRUE);
}

#else

struct AccessibleView::Glue
{
};

AccessibleView::AccessibleView(Kind)
    : m_glue(new Glue)
{
}

AccessibleView::~AccessibleView() = default;

void AccessibleView::AttachTo(wxWindow*)
{
}

void AccessibleView::NotifyNameChanged()
{
}

void AccessibleView::NotifyRowsChanged()
{
}

void AccessibleView::NotifyRowDeleted(Row)
{
}

void AccessibleView::NotifyCurrentRow(Row)
{
}

#endif

void AccessibleView::ListRows(std::vector<Row>&) const
{
}

wxString AccessibleView::GetRowDescription(Row) const
{
    return wxString();
}

wxString AccessibleView::GetRowName(Row) const
{
    return wxString();
}

int AccessibleView::GetRowLevel(Row) const
{
    return 0;
}

bool AccessibleView::IsRowExpandable(Row) const
{
    return false;
}

bool AccessibleView::IsRowExpanded(Row) const
{
    return false;
}

AccessibleView::Row AccessibleView::GetCurrentRow() const
{
    return nullptr;
}
