// Applying the performer lists to the trees, wall-clock: the first list to the "All" tree, and
// one poll's changes to both trees, delivered through the pending-event queue as the daemon
// thread delivers them.
#include "BenchSupport.h"
#include "PlainTree.h"
#include "model/UserList.h"
#include "sync/UserEvent.h"
#include "ui/AllTreeCtrl.h"
#include "ui/FavoriteTreeCtrl.h"

#include <wx/app.h>
#include <wx/filefn.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/utils.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

namespace
{
// The application the trees live in; it never enters its own main loop.
class BenchApp : public wxApp
{
public:
    bool OnInit() override { return true; }
};

const long TREE_STYLE =
    wxSUNKEN_BORDER | wxTR_HIDE_ROOT | wxTR_LINES_AT_ROOT | wxTR_NO_LINES | wxTR_HAS_BUTTONS;
const int ONLINE_STATUSES[] = { 0x01, 0x03, 0x0D, 0x15 };

class Stopwatch
{
public:
    double Milliseconds() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start)
            .count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

wxString PerformerName(int i)
{
    return wxString::Format("Performer_%05d", i);
}

UserList MakeSite(int performers, std::mt19937& random)
{
    UserList site;
    for ( int i = 0; i < performers; ++i )
        site.AddUser(User(PerformerName(i), ONLINE_STATUSES[random() % 4]));
    return site;
}

// With PARLO_BENCH_READER set (bench/reader.sh, beside a listening screen reader): whether the
// trees are read as a screen reader reads the one it is in.
bool WithReader()
{
    return wxGetenv("PARLO_BENCH_READER") != nullptr;
}

// The accessibility layer makes itself known to the reader through the main loop, which the
// measurements never run: it runs here until the reader says it knows this program (it makes the
// file PARLO_BENCH_READER names), half a minute at most.
bool MeetTheReader()
{
#ifdef __WXGTK__
    const wxString known = wxGetenv("PARLO_BENCH_READER");
    const Stopwatch watch;
    while ( !wxFileExists(known) && watch.Milliseconds() < 30000 )
    {
        while ( g_main_context_iteration(nullptr, FALSE) )
        {
        }
        wxMilliSleep(10);
    }
    // What the reader asks as it learns of a program is answered too.
    while ( g_main_context_iteration(nullptr, FALSE) )
    {
    }
    return wxFileExists(known);
#else
    return false;
#endif
}

// What a screen reader asks of a tree it comes to: how many rows, and the first ones by name.
void ReadLikeAReader(wxWindow* tree)
{
#ifdef __WXGTK__
    if ( !WithReader() || !tree->m_wxwindow )
        return;
    AtkObject* accessible = gtk_widget_get_accessible(tree->m_wxwindow);
    const int rows = atk_object_get_n_accessible_children(accessible);
    for ( int i = 0; i < std::min(rows, 30); ++i )
    {
        AtkObject* row = atk_object_ref_accessible_child(accessible, i);
        if ( row )
        {
            atk_object_get_name(row);
            g_object_unref(row);
        }
    }
#else
    (void)tree;
#endif
}

// Runs every event waiting in the queue, as the main loop would, and times it.
double ApplyPending()
{
    const Stopwatch watch;
    wxTheApp->ProcessPendingEvents();
    return watch.Milliseconds();
}

// The next poll: some performers leave, some arrive, some change state.
UserList NextPoll(const UserList& previous, int leaving, int arriving, int changing, int& nextName,
                  std::mt19937& random)
{
    std::vector<wxString> names;
    for ( UserList::const_iterator it = previous.begin(); it != previous.end(); ++it )
        names.push_back(it->first);
    std::sort(names.begin(), names.end());
    std::shuffle(names.begin(), names.end(), random);
    UserList current(previous);
    int used = 0;
    for ( int i = 0; i < leaving; ++i )
        current.RemoveUser(names[used++]);
    for ( int i = 0; i < changing; ++i )
    {
        User& user = current.GetUser(names[used++]);
        int status = user.GetStatus();
        while ( status == user.GetStatus() )
            status = ONLINE_STATUSES[random() % 4];
        user.SetStatus(status);
    }
    for ( int i = 0; i < arriving; ++i )
        current.AddUser(User(PerformerName(nextName++), ONLINE_STATUSES[random() % 4]));
    return current;
}

// Posts the difference the way the daemon thread does: added, deleted, changed, one event per
// user and per tree.
void PostDifference(const UserList& previous, const UserList& current,
                    const std::vector<wxEvtHandler*>& trees)
{
    UserList added, deleted, changed;
    previous.GetDifference(current, added, deleted, changed);
    const auto post = [&trees](const UserEvent& event)
    {
        for ( wxEvtHandler* tree : trees )
            tree->AddPendingEvent(event);
    };
    for ( UserList::const_iterator it = added.begin(); it != added.end(); ++it )
        post(UserEvent(it->second, wxEVT_USER_ADDED, -1));
    for ( UserList::const_iterator it = deleted.begin(); it != deleted.end(); ++it )
        post(UserEvent(it->second, wxEVT_USER_DELETED, -1));
    for ( UserList::const_iterator it = changed.begin(); it != changed.end(); ++it )
        post(UserEvent(it->second, wxEVT_USER_CHANGED, previous.GetUser(it->first).GetStatus()));
}

void MeasureFirstList(wxWindow* parent, int performers)
{
    std::mt19937 random(1);
    const UserList site = MakeSite(performers, random);
    std::vector<double> applied;
    std::vector<double> laidOut;
    // The first round warms the caches up and is not counted.
    for ( int round = 0; round < 6; ++round )
    {
        AllTreeCtrl* tree = new AllTreeCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                            TREE_STYLE, wxDefaultValidator, wxTreeCtrlNameStr);
        parent->SetClientSize(240, 480);
        tree->SetSize(parent->GetClientSize());
        UserListEvent first(wxEVT_USER_LIST_INITIALIZED, -1);
        first.SetUserList(site);
        // The daemon thread knows its handlers only as event handlers.
        static_cast<wxEvtHandler*>(tree)->AddPendingEvent(first);
        const double ms = ApplyPending();
        // Whatever layout the tree leaves to its next idle time; shown for information.
        const Stopwatch layout;
        wxTheApp->ProcessIdle();
        const double layoutMs = layout.Milliseconds();
        if ( round > 0 )
        {
            applied.push_back(ms);
            laidOut.push_back(layoutMs);
        }
        tree->Destroy();
        wxTheApp->ProcessIdle();
    }
    char what[128];
    std::snprintf(what, sizeof(what), "first list of %d performers to \"All\" (median)",
                  performers);
    Report(what, Median(applied), "ms", 300);
    std::printf("  %-56s %10.2f ms\n", "worst of 5",
                *std::max_element(applied.begin(), applied.end()));
    std::printf("  %-56s %10.2f ms\n", "then the tree's own work at the next idle time (median)",
                Median(laidOut));

    // Once is enough to see it: each arrival walks the items before it.
    PlainTree* plain = new PlainTree(parent, TREE_STYLE);
    PostDifference(UserList(), site, { plain });
    const double plainMs = ApplyPending();
    std::printf("  %-56s %10.2f ms     %.1f times as long\n", "the plain way: a walk over the items per event",
                plainMs, plainMs / Median(applied));
    plain->Destroy();
    wxTheApp->ProcessIdle();
}

void MeasureAgainstThePlainWay(wxWindow* parent, int performers, int leaving, int arriving, int changing);

void MeasurePoll(wxWindow* parent, int performers, int favorites, int leaving, int arriving,
                 int changing)
{
    std::mt19937 random(2);
    UserList site = MakeSite(performers, random);
    AllTreeCtrl* all = new AllTreeCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                       TREE_STYLE, wxDefaultValidator, wxTreeCtrlNameStr);
    FavoriteTreeCtrl* favorite = new FavoriteTreeCtrl(parent, wxID_ANY, wxDefaultPosition,
                                                      wxDefaultSize, TREE_STYLE, wxDefaultValidator,
                                                      wxTreeCtrlNameStr);
    UserListEvent first(wxEVT_USER_LIST_INITIALIZED, -1);
    first.SetUserList(site);
    static_cast<wxEvtHandler*>(all)->AddPendingEvent(first);

    // Favourites: most of them online now, the rest on no list at all.
    UserList favoriteList;
    for ( int i = 0; i < favorites; ++i )
    {
        const int n = static_cast<int>(random() % (performers + performers / 4));
        const User* online = site.FindUser(PerformerName(n));
        favoriteList.AddUser(online ? *online : User(PerformerName(n), STATUS_OFFLINE));
    }
    favorite->CreateGroupItems();
    UserListEvent favoritesEvent(wxEVT_USER_LIST_INITIALIZED, FavoriteTreeCtrl::FAVORITES_LIST_ID);
    favoritesEvent.SetUserList(favoriteList);
    static_cast<wxEvtHandler*>(favorite)->AddPendingEvent(favoritesEvent);
    ApplyPending();
    wxTheApp->ProcessIdle();
    ReadLikeAReader(all);
    ReadLikeAReader(favorite);

    int nextName = performers + performers / 4;
    std::vector<double> applied;
    for ( int round = 0; round < 11; ++round )
    {
        const UserList next = NextPoll(site, leaving, arriving, changing, nextName, random);
        PostDifference(site, next, { all, favorite });
        const double ms = ApplyPending();
        wxTheApp->ProcessIdle();
        if ( round > 0 )
            applied.push_back(ms);
        site = next;
    }
    char what[128];
    std::snprintf(what, sizeof(what), "poll of %d changes to both trees%s (median)",
                  leaving + arriving + changing, WithReader() ? ", screen reader" : "");
    Report(what, Median(applied), "ms", 100);
    std::printf("  %-56s %10.2f ms\n", "worst of 10 polls",
                *std::max_element(applied.begin(), applied.end()));
    MeasureAgainstThePlainWay(parent, performers, leaving, arriving, changing);

    // Typing into the search field: every name holds the first letters, fewer and fewer the
    // later ones; then the field is emptied.
    // A long view comes a part at a time: the keystroke shows its top, later idle times the
    // rest; both are measured.
    std::vector<double> typed;
    std::vector<double> whole;
    for ( const char* text : { "p", "pe", "per", "perf", "performer_", "performer_0", "performer_01",
                               "performer_012", "performer_01", "" } )
    {
        const Stopwatch watch;
        all->SetFilter(text);
        favorite->SetFilter(text);
        // The reader reads the view that shows the matches, as it would on going down to them.
        if ( all->GetFilterView() )
            ReadLikeAReader(all->GetFilterView());
        bool more = wxTheApp->ProcessIdle();
        typed.push_back(watch.Milliseconds());
        while ( more )
            more = wxTheApp->ProcessIdle();
        whole.push_back(watch.Milliseconds());
    }
    std::snprintf(what, sizeof(what), "keystroke in the search field, %d performers%s (median)", performers,
                  WithReader() ? ", screen reader" : "");
    Report(what, Median(typed), "ms", 100);
    Report("  worst of 10 keystrokes", *std::max_element(typed.begin(), typed.end()), "ms", 100);
    std::printf("  %-56s %10.2f ms\n", "worst until the view holds every match",
                *std::max_element(whole.begin(), whole.end()));
    all->Destroy();
    favorite->Destroy();
    wxTheApp->ProcessIdle();
}

// The same polls to the "All" tree alone and to the plain one, one after the other.
void MeasureAgainstThePlainWay(wxWindow* parent, int performers, int leaving, int arriving, int changing)
{
    std::mt19937 random(3);
    UserList site = MakeSite(performers, random);
    AllTreeCtrl* all = new AllTreeCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, TREE_STYLE,
                                       wxDefaultValidator, wxTreeCtrlNameStr);
    PlainTree* plain = new PlainTree(parent, TREE_STYLE);
    UserListEvent first(wxEVT_USER_LIST_INITIALIZED, -1);
    first.SetUserList(site);
    static_cast<wxEvtHandler*>(all)->AddPendingEvent(first);
    PostDifference(UserList(), site, { plain });
    ApplyPending();
    wxTheApp->ProcessIdle();

    int nextName = performers + performers / 4;
    std::vector<double> indexed;
    std::vector<double> walked;
    for ( int round = 0; round < 11; ++round )
    {
        const UserList next = NextPoll(site, leaving, arriving, changing, nextName, random);
        PostDifference(site, next, { all });
        const double allMs = ApplyPending();
        wxTheApp->ProcessIdle();
        PostDifference(site, next, { plain });
        const double plainMs = ApplyPending();
        wxTheApp->ProcessIdle();
        if ( round > 0 )
        {
            indexed.push_back(allMs);
            walked.push_back(plainMs);
        }
        site = next;
    }
    const double ours = Median(indexed);
    const double theirs = Median(walked);
    std::printf("  %-56s %10.2f ms\n", "the same poll to \"All\" alone (median)", ours);
    std::printf("  %-56s %10.2f ms     %.1f times as long\n", "the plain way: a walk over the items per event",
                theirs, theirs / ours);
    all->Destroy();
    plain->Destroy();
    wxTheApp->ProcessIdle();
}
}

int main(int argc, char** argv)
{
    wxApp::SetInstance(new BenchApp);
    if ( !wxEntryStart(argc, argv) )
        return 2;
    if ( !wxTheApp->CallOnInit() )
        return 2;
    {
        wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "bench");
        frame->Show();
        if ( WithReader() && !MeetTheReader() )
        {
            std::fprintf(stderr, "bench_trees: the screen reader never learnt of this program\n");
            return 1;
        }
        MeasureFirstList(frame, 10000);
        MeasurePoll(frame, 10000, 1000, 300, 300, 400);
        frame->Destroy();
        wxTheApp->ProcessIdle();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
