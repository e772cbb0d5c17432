#include "common/TestSupport.h"
#include "net/DownloadThread.h"
#include "sitesim/SimulatedSite.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/stopwatch.h>
#include <wx/url.h>
#include <wx/utils.h>
#include <wx/weakref.h>

namespace
{
const char* const THUMBNAIL = "/WebArchive/Anna/thumbs/LinkedImage.jpg";

// A window that receives a download, as a pop-up does; counts what reached any of them.
class ReceivingFrame : public wxFrame
{
public:
    ReceivingFrame()
        : wxFrame(nullptr, wxID_ANY, "receiver")
    {
    }

    static int ms_received;

private:
    void OnDownloadFinished(DownloadFinishedEvent& event)
    {
        ++ms_received;
        ::operator delete(event.GetClientData());
    }

    wxDECLARE_EVENT_TABLE();
};

int ReceivingFrame::ms_received = 0;

wxBEGIN_EVENT_TABLE(ReceivingFrame, wxFrame)
    EVT_DOWNLOAD_FINISHED(ReceivingFrame::OnDownloadFinished)
wxEND_EVENT_TABLE()

void Start(wxEvtHandler* handler, const sitesim::SimulatedSite& site)
{
    DownloadThread* thread = new DownloadThread(handler, -1, new wxURL("http://" + site.GetHostPort() + THUMBNAIL),
                                                nullptr, 0, wxTHREAD_DETACHED);
    ASSERT_EQ(wxTHREAD_NO_ERROR, thread->Run());
}

// Waits for a result to be queued for the main thread, without handing it over or running idle
// time (which would delete windows that are waiting to be deleted).
bool WaitForQueuedResult()
{
    wxStopWatch watch;
    while ( !wxTheApp->HasPendingEvents() && watch.Time() < 5000 )
        wxMilliSleep(2);
    return wxTheApp->HasPendingEvents();
}
}

TEST(DownloadThreadWindow, LiveWindowGetsTheThumbnail)
{
    sitesim::SimulatedSite site;
    ASSERT_TRUE(site.Start(0));
    ReceivingFrame::ms_received = 0;
    wxWeakRef<ReceivingFrame> frame(new ReceivingFrame);
    Start(frame.get(), site);
    EXPECT_TRUE(TestSupport::WaitFor([] { return ReceivingFrame::ms_received == 1; }));
    frame->Destroy();
    DownloadThread::WaitForAll();
    EXPECT_TRUE(TestSupport::WaitFor([&] { return !frame; }));
}

TEST(DownloadThreadWindow, WindowBeingDestroyedGetsNothing)
{
    sitesim::SimulatedSite site;
    ASSERT_TRUE(site.Start(0));
    site.SetFault(THUMBNAIL, sitesim::Fault::Delay(200));
    ReceivingFrame::ms_received = 0;
    wxTheApp->ProcessPendingEvents();

    // Closed while its thumbnail is on the way: the window waits for idle time to be deleted.
    wxWeakRef<ReceivingFrame> frame(new ReceivingFrame);
    Start(frame.get(), site);
    ASSERT_TRUE(site.WaitForRequests(THUMBNAIL, 1, 5000));
    frame->Destroy();
    ASSERT_TRUE(wxTheApp->IsScheduledForDestruction(frame.get()));
    ASSERT_TRUE(WaitForQueuedResult());
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(0, ReceivingFrame::ms_received);

    // Closed and gone before the answer.
    ReceivingFrame* gone = new ReceivingFrame;
    Start(gone, site);
    ASSERT_TRUE(site.WaitForRequests(THUMBNAIL, 2, 5000));
    delete gone;
    DownloadThread::WaitForAll();
    EXPECT_TRUE(TestSupport::WaitFor([&] { return !frame; }));
    EXPECT_EQ(0, ReceivingFrame::ms_received);
}
