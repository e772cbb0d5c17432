#include "ui/AccessibleView.h"

#include <wx/app.h>
#include <wx/bookctrl.h>
#include <wx/menu.h>
#include <wx/window.h>

#ifdef __WXGTK__
#include "ui/AccessibleViewGlue.h"
#endif

namespace
{
// More rows coming or going at once than this are told as one change of what is shown.
const size_t MAX_ROWS_TOLD = 100;
}

#ifdef __WXGTK__
namespace
{
const char* const VIEW_KEY = "parlo-accessible-view";

// The glues alive, so that what was put off for one that is gone meanwhile finds nothing to do.
std::unordered_set<const AccessibleView::Glue*> s_live;
}

AccessibleView::Glue::Glue(AccessibleView* v, Kind k)
    : view(v)
    , kind(k)
{
    s_live.insert(this);
}

AccessibleView::Glue* AccessibleView::Glue::Of(AtkObject* accessible)
{
    GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible));
    Glue* glue = widget ? static_cast<Glue*>(g_object_get_data(G_OBJECT(widget), VIEW_KEY)) : nullptr;
    if ( glue && glue->view )
    {
        glue->accessible = accessible;
        return glue;
    }
    return nullptr;
}

bool AccessibleView::Glue::IsLive(const Glue* glue)
{
    return s_live.count(glue) && glue->view;
}

AccessibleView::Glue::~Glue()
{
    s_live.erase(this);
    if ( widget )
        g_object_set_data(G_OBJECT(widget), VIEW_KEY, nullptr);
    for ( auto& object : rowObjects )
        AccessibleRow::Forget(object.second);
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
        object = AccessibleRow::Make(this, row);
    return object;
}

bool AccessibleView::Glue::IsLiveRow(Row row)
{
    if ( deleted.count(row) )
        return false;
    Rows();
    // One added since the reader was last told of the rows is live too, if the view shows it.
    return index.count(row) || rowObjects.count(row) || view->GetRowRect(row).width > 0;
}

void AccessibleView::Glue::ScheduleFlush()
{
    if ( !accessible || flushPending || !wxTheApp )
        return;
    flushPending = true;
    // Once the window has taken the whole change: a poll brings many at once.
    wxTheApp->CallAfter([this] {
        if ( IsLive(this) )
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
                AtkObject* child = object == rowObjects.end() ? AccessibleRow::Gone(accessible)
                                                              : ATK_OBJECT(g_object_ref(object->second));
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
}

void AccessibleView::Glue::TellRenamed()
{
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
    AccessibleCanvas::Install(canvas);
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
        AccessibleRow::Forget(gone);
    }
    // Never asked of the view again: its key may come back as another row's.
    if ( glue.index.count(row) )
        glue.deleted.insert(row);
    glue.ScheduleFlush();
}

void AccessibleView::NotifyRowsSettled()
{
    if ( m_glue->accessible )
        m_glue->TellRenamed();
}

void AccessibleView::NameMenu(wxMenu& menu, const wxString& name)
{
    if ( menu.m_menu )
        atk_object_set_name(gtk_widget_get_accessible(menu.m_menu), name.utf8_str());
}

void AccessibleView::Describe(wxWindow* window, const wxString& text)
{
    if ( window && window->GetHandle() )
        atk_object_set_description(gtk_widget_get_accessible(window->GetHandle()), text.utf8_str());
}

void AccessibleView::DescribePage(wxBookCtrlBase* book, int page, const wxString& text)
{
    if ( !book || !book->GetHandle() || page < 0 )
        return;
    AtkObject* tab = atk_object_ref_accessible_child(gtk_widget_get_accessible(book->GetHandle()), page);
    if ( !tab )
        return;
    atk_object_set_description(tab, text.utf8_str());
    g_object_unref(tab);
}

namespace
{
const char* const TOLD_SHOWING_KEY = "parlo-told-showing";

// Whether GTK now has widget on screen, as it tells screen readers who ask.
bool IsOnScreen(GtkWidget* widget)
{
    GtkAllocation place;
    gtk_widget_get_allocation(widget, &place);
    return gtk_widget_get_mapped(widget) && place.x + place.width > 0 && place.y + place.height > 0;
}

void TellShowing(GtkWidget* widget)
{
    if ( !IsOnScreen(widget) )
        return;
    g_object_set_data(G_OBJECT(widget), TOLD_SHOWING_KEY, widget);
    atk_object_notify_state_change(gtk_widget_get_accessible(widget), ATK_STATE_SHOWING, TRUE);
}
}

void AccessibleView::TellWhenShown(wxWindow* window)
{
    GtkWidget* widget = window ? window->GetHandle() : nullptr;
    if ( !widget )
        return;
    // Once it has its place on screen, which comes after it is mapped: a reader that asked in
    // between was told it is not showing.
    g_signal_connect_after(widget, "size-allocate", G_CALLBACK(+[](GtkWidget* shown, GdkRectangle*, gpointer) {
                               if ( !g_object_get_data(G_OBJECT(shown), TOLD_SHOWING_KEY) )
                                   TellShowing(shown);
                           }),
                           nullptr);
    g_signal_connect(widget, "unmap", G_CALLBACK(+[](GtkWidget* hidden, gpointer) {
                         g_object_set_data(G_OBJECT(hidden), TOLD_SHOWING_KEY, nullptr);
                     }),
                     nullptr);
    // And as it becomes active, before GTK tells that (this handler comes first): a reader checks
    // then that the window it is to follow is showing.
    g_signal_connect(widget, "focus-in-event", G_CALLBACK(+[](GtkWidget* active, GdkEvent*, gpointer) -> gboolean {
                         TellShowing(active);
                         return FALSE;
                     }),
                     nullptr);
}

void AccessibleView::LetBookGo(wxBookCtrlBase* book)
{
    if ( book && GTK_IS_NOTEBOOK(book->GetHandle()) )
        gtk_notebook_set_show_tabs(GTK_NOTEBOOK(book->GetHandle()), FALSE);
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
    atk_object_notify_state_change(object, ATK_STATE_SELECTED, TRUE);
    // A tree without the focus changes its row when a poll takes the row away: a screen reader
    // told so would leave the field the user types in. It asks for the row when the tree gets
    // the focus.
    if ( !gtk_widget_has_focus(glue.widget) )
        return;
    // What a screen reader speaks as the user moves: the new row, by name; and what a magnifier
    // follows.
    g_signal_emit_by_name(glue.accessible, "active-descendant-changed", object);
    g_signal_emit_by_name(glue.accessible, "selection-changed");
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

void AccessibleView::NotifyRowsSettled()
{
}

void AccessibleView::NameMenu(wxMenu&, const wxString&)
{
}

void AccessibleView::Describe(wxWindow*, const wxString&)
{
}

void AccessibleView::DescribePage(wxBookCtrlBase*, int, const wxString&)
{
}

void AccessibleView::TellWhenShown(wxWindow*)
{
}

void AccessibleView::LetBookGo(wxBookCtrlBase*)
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

wxRect AccessibleView::GetRowRect(Row) const
{
    return wxRect();
}

AccessibleView::Row AccessibleView::GetRowAt(const wxPoint&) const
{
    return nullptr;
}

void AccessibleView::SelectRow(Row)
{
}

bool AccessibleView::HasRowAction(Row, RowAction) const
{
    return false;
}

void AccessibleView::DoRowAction(Row, RowAction)
{
}
