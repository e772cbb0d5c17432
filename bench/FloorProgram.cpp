// The floor the running program is measured against: a bare toolkit window with a tree and a
// timer every ten seconds, under the same display, doing nothing else.
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/timer.h>
#include <wx/treectrl.h>

class FloorFrame : public wxFrame
{
public:
    FloorFrame()
        : wxFrame(nullptr, wxID_ANY, "floor")
        , m_timer(this)
    {
        wxTreeCtrl* tree = new wxTreeCtrl(this, wxID_ANY);
        tree->AddRoot("All");
        m_timer.Start(10000);
    }

private:
    void OnTimer(wxTimerEvent&) {}

    wxTimer m_timer;

    wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(FloorFrame, wxFrame)
    EVT_TIMER(wxID_ANY, FloorFrame::OnTimer)
wxEND_EVENT_TABLE()

class FloorApp : public wxApp
{
public:
    bool OnInit() override
    {
        (new FloorFrame)->Show();
        return true;
    }
};

wxIMPLEMENT_APP(FloorApp);
