#include "ModalDialogs.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/log.h>

#include <algorithm>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

namespace
{
void Cancel(wxDialog* dialog)
{
    if ( dialog->IsModal() )
    {
        dialog->EndModal(wxID_CANCEL);
        return;
    }
#ifdef __WXGTK__
    // A message box is GTK's own dialog, run by GTK rather than by a loop of the toolkit's.
    GtkWidget* widget = static_cast<GtkWidget*>(dialog->GetHandle());
    if ( widget && GTK_IS_DIALOG(widget) )
        gtk_dialog_response(GTK_DIALOG(widget), GTK_RESPONSE_DELETE_EVENT);
#endif
}
}

ModalDialogs::ModalDialogs(const std::function<void()>& allEnded)
    : m_allEnded(allEnded)
{
    Register();
}

bool ModalDialogs::EndAll()
{
    m_refusing = true;
    if ( m_open.empty() )
        return false;
    wxLogTrace("lumora", "ending %lu open dialogs", static_cast<unsigned long>(m_open.size()));
    m_ending = true;
    // Only the innermost loop runs now: the others are ended in turn as each comes back to run.
    Cancel(m_open.back());
    return true;
}

int ModalDialogs::Enter(wxDialog* dialog)
{
    if ( m_refusing )
    {
        wxLogTrace("lumora", "stopping: the dialog \"%s\" is not shown", dialog->GetTitle());
        return wxID_CANCEL;
    }
    m_open.push_back(dialog);
    return wxID_NONE;
}

void ModalDialogs::Exit(wxDialog* dialog)
{
    const std::vector<wxDialog*>::reverse_iterator it = std::find(m_open.rbegin(), m_open.rend(), dialog);
    if ( it != m_open.rend() )
        m_open.erase(std::next(it).base());
    if ( !m_ending )
        return;
    if ( !m_open.empty() )
    {
        Cancel(m_open.back());
        return;
    }
    m_ending = false;
    // After whatever code follows the dialog, from the loop that runs next.
    if ( wxTheApp )
        wxTheApp->CallAfter(m_allEnded);
}
