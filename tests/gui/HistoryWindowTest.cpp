// A performer's history window over a month of history, written poll by poll by the real writer
// with a clock of the test's own: what it says now, usually and typically, the sessions it lists;
// one window a performer, its size kept; and in Japanese, the window's own words.
#include "ScopedSkin.h"
#include "Screenshot.h"
#include "TopWindows.h"
#include "common/TempConfig.h"
#include "common/TestClock.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "history/HistoryWriter.h"
#include "ui/HistoryWindow.h"

#include <gtest/gtest.h>

#include <wx/dataview.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/stattext.h>

#include <ctime>
#include <memory>
#include <random>
#include <vector>

using namespace StatusWord;

namespace
{
const std::int64_t POLL = 300;
const std::int64_t DAY = 24 * 3600;

std::int64_t Local(int year, int month, int day, int hour, int minute)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

std::tm Wall(std::int64_t t)
{
    const time_t at = static_cast<time_t>(t);
    std::tm local;
    localtime_r(&at, &local);
    return local;
}

// A month up to Thursday 26 November 2026, 21:30, a poll every five minutes while the computer is
// on: not from 03:00 to 09:00, nor on the 10th and 11th. Sakura_19 comes most Tuesday, Thursday
// and Saturday evenings from about 20:00 to 23:00, busy now and then and at the end; Mia_Rose at
// random. The writer, still watching, as the program's is while its windows are open.
std::unique_ptr<HistoryWriter> WriteMonth(const wxString& path, TestClock& clock)
{
    std::mt19937 random(7);
    const std::int64_t end = Local(2026, 11, 26, 21, 30);
    std::unique_ptr<HistoryWriter> writer;
    UserList was;
    int sakuraStart = 0;
    int sakuraEnd = 0;
    int day = -1;
    bool mia = false;
    for ( std::int64_t t = end - 30 * DAY; t <= end; t += POLL )
    {
        const std::tm wall = Wall(t);
        const bool off = wall.tm_hour >= 3 && wall.tm_hour < 9;
        const bool away = wall.tm_mon == 10 && (wall.tm_mday == 10 || wall.tm_mday == 11);
        if ( off || away )
        {
            if ( writer )
                writer->Stop();
            writer.reset();
            continue;
        }
        if ( wall.tm_yday != day )
        {
            day = wall.tm_yday;
            const bool evening = (wall.tm_wday == 2 || wall.tm_wday == 4 || wall.tm_wday == 6) && random() % 6 != 0;
            sakuraStart = evening ? 20 * 60 + static_cast<int>(random() % 15) : 0;
            sakuraEnd = evening ? 22 * 60 + 40 + static_cast<int>(random() % 40) : 0;
        }
        const int minute = wall.tm_hour * 60 + wall.tm_min;
        if ( random() % 40 == 0 )
            mia = !mia;
        UserList online;
        if ( minute >= sakuraStart && minute < sakuraEnd )
        {
            const bool busy = random() % 5 == 0;
            online.AddUser(User("Sakura_19", busy || t == end ? BUSY_PUBLIC : FREE));
        }
        if ( mia )
            online.AddUser(User("Mia_Rose", FREE));
        clock.Set(t);
        const auto now = std::make_shared<const UserList>(online);
        if ( !writer )
        {
            writer.reset(new HistoryWriter(path, clock, nullptr));
            writer->Record(now, nullptr, nullptr, nullptr, POLL);
        }
        else
        {
            auto added = std::make_shared<UserList>();
            auto deleted = std::make_shared<UserList>();
            auto changed = std::make_shared<UserList>();
            was.GetDifference(online, *added, *deleted, *changed);
            writer->Record(now, added, deleted, changed, POLL);
        }
        writer->Flush();
        was = online;
    }
    return writer;
}

// Every text a window shows in labels, in the order of its children.
void Labels(wxWindow* window, std::vector<wxString>& labels)
{
    if ( wxStaticText* text = dynamic_cast<wxStaticText*>(window) )
        labels.push_back(text->GetLabel());
    for ( wxWindow* child : window->GetChildren() )
        Labels(child, labels);
}

wxDataViewListCtrl* SessionList(wxWindow* window)
{
    if ( wxDataViewListCtrl* list = dynamic_cast<wxDataViewListCtrl*>(window) )
        return list;
    for ( wxWindow* child : window->GetChildren() )
    {
        if ( wxDataViewListCtrl* list = SessionList(child) )
            return list;
    }
    return nullptr;
}

bool HasLabel(wxWindow* window, const wxString& wanted)
{
    std::vector<wxString> labels;
    Labels(window, labels);
    for ( const wxString& label : labels )
    {
        if ( label.Contains(wanted) )
            return true;
    }
    return false;
}

class HistoryWindowTest : public ConfiguredTest
{
};
}

TEST_F(HistoryWindowTest, AMonthInOneWindowAPerformerItsSizeKeptInEnglishAndJapanese)
{
    ScopedSkin skin;
    TestClock clock;
    const wxString path = TempDir() + "/history.sqlite";
    const std::unique_ptr<HistoryWriter> writer = WriteMonth(path, clock);
    wxFrame* parent = new wxFrame(nullptr, wxID_ANY, "Parlo Tovrik");
    parent->Show();

    HistoryWindow* window = HistoryWindow::ShowFor(parent, path, clock, "Sakura_19");
    ASSERT_TRUE(window);
    EXPECT_EQ("History of Sakura_19", window->GetTitle());
    EXPECT_TRUE(HasLabel(window, "online since 20:")) << "now";
    EXPECT_TRUE(HasLabel(window, "), busy")) << "as at the last poll";
    EXPECT_TRUE(HasLabel(window, "usually online Tue, Thu and Sat, 20:00\u201323:00"));
    EXPECT_TRUE(HasLabel(window, "a typical session lasts 2 h ")) << "typical";
    wxDataViewListCtrl* sessions = SessionList(window);
    ASSERT_TRUE(sessions);
    // About ten evenings in the month, the one going on first.
    EXPECT_GE(sessions->GetItemCount(), 7u);
    EXPECT_LE(sessions->GetItemCount(), 14u);
    EXPECT_EQ("now", sessions->GetTextValue(0, 2));
    Screenshot(window, "history.png");

    // Asked again, the same window comes to the front; another performer gets one of their own.
    EXPECT_EQ(window, HistoryWindow::ShowFor(parent, path, clock, "Sakura_19"));
    HistoryWindow* other = HistoryWindow::ShowFor(parent, path, clock, "Mia_Rose");
    EXPECT_NE(window, other);
    EXPECT_EQ(2u, TopWindows<HistoryWindow>().size());

    // Made larger and closed last, the next window opens at that size; never below its least.
    window->SetSize(720, 700);
    const wxSize larger = window->GetSize();
    other->Close();
    window->Close();
    EXPECT_TRUE(TestSupport::WaitIdle([] { return TopWindows<HistoryWindow>().empty(); }));
    window = HistoryWindow::ShowFor(parent, path, clock, "Sakura_19");
    EXPECT_EQ(larger, window->GetSize());
    window->SetSize(100, 100);
    EXPECT_GE(window->GetClientSize().x, window->GetMinClientSize().x);
    window->Close();
    EXPECT_TRUE(TestSupport::WaitIdle([] { return TopWindows<HistoryWindow>().empty(); }));

    // In Japanese: the window's words from the catalogue.
    {
        wxFileTranslationsLoader::AddCatalogLookupPathPrefix(TestSupport::BuildDir());
        wxLocale locale;
        {
            wxLogNull quiet;
            locale.Init(wxLANGUAGE_JAPANESE);
        }
        ASSERT_TRUE(locale.AddCatalog("Parlo"));
        window = HistoryWindow::ShowFor(parent, path, clock, "Sakura_19");
        EXPECT_EQ(wxString::FromUTF8("Sakura_19 の履歴"), window->GetTitle());
        EXPECT_TRUE(HasLabel(window, wxString::FromUTF8("からオンライン")));
        EXPECT_TRUE(HasLabel(window, wxString::FromUTF8("よくオンラインになるのは")));
        EXPECT_TRUE(HasLabel(window, wxString::FromUTF8("典型的なセッションの長さは")));
        EXPECT_TRUE(HasLabel(window, wxString::FromUTF8("最近のセッション")));
        EXPECT_EQ(wxString::FromUTF8("継続中"), SessionList(window)->GetTextValue(0, 2));
        window->Close();
        EXPECT_TRUE(TestSupport::WaitIdle([] { return TopWindows<HistoryWindow>().empty(); }));
    }
    parent->Destroy();
    writer->Stop();
}
