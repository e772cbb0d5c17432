// Opening a performer's history window with a year of history on disk, wall-clock: from the
// request to the week's pattern painted on screen, the history read and the map computed on the
// way; then the same window switched to 26 weeks. The year is the one bench_history leaves at
// HISTORY_YEAR.
#include "BenchSupport.h"
#include "history/HistoryClock.h"
#include "ui/HistoryWindow.h"
#include "ui/WeekMapPanel.h"

#include <wx/app.h>
#include <wx/choice.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace
{
class BenchApp : public wxApp
{
public:
    bool OnInit() override { return true; }
};

// The end of the year bench_history writes, at noon.
class YearEnd : public HistoryClock
{
public:
    std::int64_t Now() const override { return 1767225600 + 365LL * 24 * 3600 + 12 * 3600; }
};

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <class Child>
Child* FindChild(wxWindow* window)
{
    if ( Child* found = dynamic_cast<Child*>(window) )
        return found;
    for ( wxWindow* child : window->GetChildren() )
    {
        if ( Child* found = FindChild<Child>(child) )
            return found;
    }
    return nullptr;
}

// Runs the toolkit until the window's map has been painted once more, at most 5 s.
void UntilPainted(HistoryWindow* window, int& paints)
{
    const int before = paints;
    const Clock::time_point start = Clock::now();
    while ( paints == before && MillisecondsSince(start) < 5000 )
    {
        window->Update();
        wxTheApp->Yield(true);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
}

int main(int argc, char** argv)
{
    wxString year;
    if ( !wxGetEnv("HISTORY_YEAR", &year) || !wxFileName::FileExists(year) )
    {
        std::printf("%-58s %10s (no year of history: run bench_history first)\n", "opening a history window", "-");
        return 0;
    }
    wxApp::SetInstance(new BenchApp);
    if ( !wxEntryStart(argc, argv) )
        return 2;
    if ( !wxTheApp->CallOnInit() )
        return 2;
    {
        const YearEnd clock;
        wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "bench");
        frame->Show();
        std::vector<double> opening;
        std::vector<double> switching;
        for ( int round = 0; round < 11; ++round )
        {
            int paints = 0;
            const Clock::time_point start = Clock::now();
            HistoryWindow* window = HistoryWindow::ShowFor(frame, year, clock, "Performer_0");
            FindChild<WeekMapPanel>(window)->Bind(wxEVT_PAINT, [&paints](wxPaintEvent& event) {
                ++paints;
                event.Skip();
            });
            UntilPainted(window, paints);
            opening.push_back(MillisecondsSince(start));

            wxChoice* weeks = FindChild<wxChoice>(window);
            weeks->SetSelection(weeks->GetCount() - 1);
            wxCommandEvent chosen(wxEVT_CHOICE, weeks->GetId());
            chosen.SetEventObject(weeks);
            const Clock::time_point choosing = Clock::now();
            weeks->GetEventHandler()->ProcessEvent(chosen);
            UntilPainted(window, paints);
            switching.push_back(MillisecondsSince(choosing));

            window->Destroy();
            wxTheApp->ProcessIdle();
        }
        // The first opening, which also loads what the toolkit keeps for later windows, counts too.
        std::printf("   (the first of %zu openings: %.1f ms)\n", opening.size(), opening.front());
        Report("opening a history window, a year on disk, median", Median(opening), "ms", 100);
        Report("opening a history window, a year on disk, worst", *std::max_element(opening.begin(), opening.end()),
               "ms", 100);
        Report("the same window switched to 26 weeks, worst", *std::max_element(switching.begin(), switching.end()),
               "ms", 100);
        frame->Destroy();
        wxTheApp->ProcessIdle();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
