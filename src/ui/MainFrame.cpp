#include "ui/MainFrame.h"

#include "history/HistoryClock.h"
#include "history/HistoryFile.h"
#include "history/HistoryReader.h"
#include "history/HistoryStatusEvent.h"
#include "history/HistoryWriter.h"
#include "history/WatchHistory.h"
#include "shell/Site.h"
#include "skin/Skin.h"
#include "net/DownloadThread.h"
#include "net/QueryText.h"
#include "net/wxHTTP2.h"
#include "shell/Autostart.h"
#include "shell/BoolSetting.h"
#include "shell/SiteHosts.h"
#include "shell/Util.h"
#include "sync/DaemonThread.h"
#include "sync/FavoritesParser.h"
#include "sync/SyncStatusEvent.h"
#include "sync/UserListEvent.h"
#include "ui/AccessibleView.h"
#include "ui/AuthenticationDialog.h"
#include "ui/AllTreeCtrl.h"
#include "ui/DesktopNotification.h"
#include "ui/FavoriteTreeCtrl.h"
#include "ui/HistoryWindow.h"
#include "ui/NotifyIcon.h"
#include "ui/PasswordStore.h"
#include "ui/PopupDialog.h"
#include "ui/PopupDialogManager.h"
#include "ui/StatusLine.h"

#include <wx/app.h>
#include <wx/bmpbndl.h>
#include <wx/choicdlg.h>
#include <wx/config.h>
#include <wx/dialog.h>
#include <wx/iconbndl.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/url.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/srchctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/time.h>
#include <wx/timer.h>

wxBEGIN_EVENT_TABLE(MainFrame, wxFrame)
    EVT_DOWNLOAD_FINISHED(MainFrame::OnDownloadFinished)
    EVT_ICONIZE(MainFrame::OnIconize)
    EVT_MENU(wxID_ANY, MainFrame::OnMenu)
    EVT_UPDATE_UI(ID_START_AT_LOGIN, MainFrame::OnUpdateStartAtLogin)
    EVT_SYNC_STATUS(MainFrame::OnSyncStatus)
    EVT_HISTORY_STATUS(MainFrame::OnHistoryStatus)
    EVT_CHAR_HOOK(MainFrame::OnCharHook)
wxEND_EVENT_TABLE()

namespace
{
const int SIGN_IN_TIMEOUT_SECONDS = 10;
// How long the typing pauses before the search's result is said: once, not at every letter.
const int SEARCH_PAUSE_MS = 500;
// Around the Favorite page's hint.
const int HINT_MARGIN = 6;
const long TREE_STYLE = wxSUNKEN_BORDER | wxTR_HIDE_ROOT | wxTR_LINES_AT_ROOT | wxTR_NO_LINES
                        | wxTR_HAS_BUTTONS;
}

MainFrame::MainFrame()
    : wxFrame(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE)
{
    // The site's exit request and the pop-ups' favourites test look for the top window.
    wxTheApp->SetTopWindow(this);

    m_search = new wxSearchCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0);
    m_search->ShowCancelButton(true);
    // Screen readers say it too, as the field's placeholder.
    m_search->SetDescriptiveText(_("Find a performer"));
    m_search->Bind(wxEVT_TEXT, &MainFrame::OnSearchText, this);
    m_searchPause = new wxTimer(this);
    Bind(wxEVT_TIMER, &MainFrame::OnSearchPaused, this, m_searchPause->GetId());
    m_search->Bind(wxEVT_SEARCHCTRL_CANCEL_BTN, [this](wxCommandEvent&) { m_search->Clear(); });
    m_notebook = new wxNotebook(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, "notebook");
    m_favoritePanel = new wxPanel(m_notebook, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                  wxTAB_TRAVERSAL | wxNO_BORDER);
    m_allPanel = new wxPanel(m_notebook, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                             wxTAB_TRAVERSAL | wxNO_BORDER);
    m_notebook->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &MainFrame::OnPageChanged, this);
    CreateMenus();
    m_allTree = new AllTreeCtrl(m_allPanel, wxID_ANY, wxDefaultPosition, wxDefaultSize, TREE_STYLE,
                                wxDefaultValidator, wxTreeCtrlNameStr);
    m_favoriteTree = new FavoriteTreeCtrl(m_favoritePanel, wxID_ANY, wxDefaultPosition,
                                          wxDefaultSize, TREE_STYLE, wxDefaultValidator,
                                          wxTreeCtrlNameStr);
    SetTitle(_("Parlo Tovrik"));
    DoLayout();
    // No size grip: the narrow default window needs its width for the text.
    CreateStatusBar(1, wxSTB_DEFAULT_STYLE & ~wxSTB_SIZEGRIP);

    wxConfigBase* config = Skin::GetConfig();
    m_menuBar->Check(ID_POPUP_ONLY_FAVORITE, BoolSetting::Read(*config, "/PopupDialog/onlyFavorite", false));
    m_menuBar->Enable(ID_POPUP_ONLY_FAVORITE, false);
    m_menuBar->Check(ID_QUIET, PopupDialogManager::IsQuiet());
    m_menuBar->Check(ID_KEEP_WATCHING, BoolSetting::Read(*config, "/System/keepWatching", false));
    m_menuBar->Check(ID_DESKTOP_NOTIFICATIONS, PopupDialogManager::UsesDesktopNotifications());
    const bool orderByLastSeen = BoolSetting::Read(*config, "/History/offlineByLastSeen", false);
    m_menuBar->Check(ID_ORDER_BY_LAST_SEEN, orderByLastSeen);

    // Written on a thread of its own from the first poll on; nothing of it touches the disk here.
    m_history = new WatchHistory(*config, this, HistoryFile::GetDefaultPath(), HistoryClock::System());
    m_menuBar->Check(ID_KEEP_HISTORY, m_history->IsEnabled());
    m_menuBar->Enable(HistoryWindow::ID_OPEN, m_history->IsEnabled());
    m_allTree->SetHistory(m_history);
    m_favoriteTree->SetHistory(m_history);
    m_favoriteTree->SetOrderByLastSeen(orderByLastSeen);

    // Joinable, so that the destructor can wait for it: the toolkit cannot wait for a
    // detached thread here, and the thread must end before the handlers it posts to.
    m_daemonThread = new DaemonThread(Site::GetInstance(), wxTHREAD_JOINABLE, 0, 0);
    m_daemonThread->AddEventHandler(m_allTree);
    m_favoritePanel->Enable(false);
    m_popupManager = new PopupDialogManager;
    m_daemonThread->AddEventHandler(m_popupManager);
    m_daemonThread->SetStatusHandler(this);
    m_daemonThread->SetHistory(&m_history->GetWriter());

    // A skin without the icon leaves the toolkit's own.
    const wxBitmapBundle icon = Skin::GetInstance()->GetBitmapBundle("Application_icon");
    if ( icon.IsOk() )
    {
        // Both sizes, for task bars and docks on screens that draw at scale 2.
        wxIconBundle icons;
        icons.AddIcon(icon.GetIcon(icon.GetDefaultSize()));
        icons.AddIcon(icon.GetIcon(icon.GetDefaultSize() * 2));
        SetIcons(icons);
    }
    RestoreGeometry();
    AccessibleView::TellWhenShown(this);
    Show(true);
    Raise();
    ShowFavoriteHint(true);
    // For measuring how long the program takes to start.
    wxLogTrace("lumora", "MainFrame: shown at %lld ms", static_cast<long long>(wxGetUTCTimeMillis().GetValue()));
    if ( m_daemonThread->Run() != wxTHREAD_NO_ERROR )
        wxLogTrace("lumora", "MainFrame: the daemon thread did not start");

    m_notifyIcon = new NotifyIcon(this, icon, wxTheApp->GetAppName());
    m_notifyIcon->SetQuiet(PopupDialogManager::IsQuiet());

    m_passwords = new PasswordStore;
    m_passwords->MoveFromFile();
}

MainFrame::~MainFrame()
{
    delete m_searchPause;
    m_searchPause = nullptr;
    if ( m_daemonThread )
    {
        m_daemonThread->Delete();
        delete m_daemonThread;
        m_daemonThread = nullptr;
    }
    // After the last poll it was handed: its sessions end there.
    m_allTree->SetHistory(nullptr);
    m_favoriteTree->SetHistory(nullptr);
    delete m_history;
    m_history = nullptr;
    delete m_notifyIcon;
    m_notifyIcon = nullptr;
    // What it still had under way ends before the configuration can go.
    delete m_passwords;
    m_passwords = nullptr;
    delete m_popupManager;
    m_popupManager = nullptr;
    // Pop-ups still waiting for their pictures would keep the program alive after the user
    // has left it: they go with the frame.
    for ( wxWindowList::const_iterator it = wxTopLevelWindows.begin(); it != wxTopLevelWindows.end(); ++it )
    {
        if ( dynamic_cast<PopupDialog*>(*it) )
            (*it)->Destroy();
    }
    DesktopNotification::CloseAll();
    SaveGeometry();
    AccessibleView::LetBookGo(m_notebook);
    Skin::GetConfig()->DeleteEntry("/favorites");
}

bool MainFrame::Destroy()
{
    if ( m_modalDepth == 0 )
        return wxFrame::Destroy();
    m_destroyRequested = true;
    if ( m_modalDialog && m_modalDialog->IsModal() )
        m_modalDialog->EndModal(wxID_CANCEL);
    return true;
}

bool MainFrame::RunModal(const std::function<void()>& show)
{
    ++m_modalDepth;
    show();
    --m_modalDepth;
    if ( !m_destroyRequested )
        return true;
    if ( m_modalDepth == 0 )
        wxFrame::Destroy();
    return false;
}

void MainFrame::CreateMenus()
{
    m_menuBar = new wxMenuBar;
    SetMenuBar(m_menuBar);

    wxMenu* file = new wxMenu;
    file->Append(wxID_EXIT, _("E&xit"), wxEmptyString, wxITEM_NORMAL);
    m_menuBar->Append(file, _("&File"));

    wxMenu* tool = new wxMenu;
    tool->Append(ID_UPDATE_FAVORITE, _("&UpdateFavorite"), wxEmptyString, wxITEM_NORMAL);
    tool->Append(ID_POPUP_ONLY_FAVORITE, _("&PopupOnlyFavorite"), wxEmptyString, wxITEM_CHECK);
    tool->Append(ID_START_AT_LOGIN, _("Start at &login"), wxEmptyString, wxITEM_CHECK);
    tool->Check(ID_START_AT_LOGIN, Autostart::IsEnabled());
    tool->Append(ID_QUIET, _("&Quiet"), wxEmptyString, wxITEM_CHECK);
    tool->Append(ID_KEEP_WATCHING, _("&Keep watching when the site is down"), wxEmptyString, wxITEM_CHECK);
    tool->Append(ID_DESKTOP_NOTIFICATIONS, _("Use the desktop's &notifications"), wxEmptyString, wxITEM_CHECK);
    tool->AppendSeparator();
    tool->Append(HistoryWindow::ID_OPEN, wxGetTranslation(wxS("&History\u2026\tCtrl+H")), wxEmptyString, wxITEM_NORMAL);
    tool->Append(ID_KEEP_HISTORY, _("Keep a &watch history"), wxEmptyString, wxITEM_CHECK);
    tool->Append(ID_ORDER_BY_LAST_SEEN, _("Order offline favourites by last &seen"), wxEmptyString, wxITEM_CHECK);
    tool->Append(ID_FORGET_HISTORY, wxGetTranslation(wxS("&Forget the history\u2026")), wxEmptyString, wxITEM_NORMAL);
    m_menuBar->Append(tool, _("&Tool"));
}

void MainFrame::DoLayout()
{
    const struct
    {
        wxPanel* panel;
        wxWindow* tree;
    } pages[] = { { m_allPanel, m_allTree }, { m_favoritePanel, m_favoriteTree } };
    // Shown on the Favorite page for as long as it is closed, in the menus' own words.
    m_favoriteHint = new wxStaticText(m_favoritePanel, wxID_ANY, FavoriteHintText());
    m_favoriteHint->Hide();
    // In lines as wide as the page, which starts narrow.
    m_favoritePanel->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        WrapFavoriteHint(event.GetSize().x);
    });
    for ( const auto& page : pages )
    {
        wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
        if ( page.panel == m_favoritePanel )
            sizer->Add(m_favoriteHint, 0, wxEXPAND | wxALL, HINT_MARGIN);
        sizer->Add(page.tree, 1, wxEXPAND, 0);
        page.panel->SetAutoLayout(true);
        page.panel->SetSizer(sizer);
        sizer->Fit(page.panel);
        sizer->SetSizeHints(page.panel);
    }
    // GTK gives a page it does not show the size its tree was made with until the page is
    // shown, and an empty tree is made too small to hold its scroll bars: both start alike.
    m_favoriteTree->SetSize(m_allTree->GetSize());
    m_notebook->AddPage(m_allPanel, _("All"), false);
    m_notebook->AddPage(m_favoritePanel, _("Favorite"), false);

    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(m_search, 0, wxEXPAND | wxALL, 2);
    sizer->Add(m_notebook, 1, wxEXPAND, 0);
    SetAutoLayout(true);
    SetSizer(sizer);
    Layout();
}

void MainFrame::RestoreGeometry()
{
    wxConfigBase* config = Skin::GetConfig();
    const int x = config->ReadLong("/MainFrame/x", -1);
    const int y = config->ReadLong("/MainFrame/y", -1);
    const int width = config->ReadLong("/MainFrame/width", 240);
    const int height = config->ReadLong("/MainFrame/height", 480);
    SetSize(x, y, width, height, wxSIZE_AUTO);
}

void MainFrame::SaveGeometry()
{
    wxConfigBase* config = Skin::GetConfig();
    const wxPoint position = GetPosition();
    const wxSize size = GetSize();
    config->Write("/MainFrame/x", static_cast<long>(position.x));
    config->Write("/MainFrame/y", static_cast<long>(position.y));
    config->Write("/MainFrame/width", static_cast<long>(size.x));
    config->Write("/MainFrame/height", static_cast<long>(size.y));
}

bool MainFrame::CanHideInTray() const
{
    return m_notifyIcon && m_notifyIcon->IsShownInTray();
}

void MainFrame::OnMenu(wxCommandEvent& event)
{
    switch ( event.GetId() )
    {
        case wxID_OPEN:
            // As a window: GTK would map a frame hidden while iconized as an icon again.
            Iconize(false);
            Show(true);
            break;
        case wxID_CLOSE:
            Show(false);
            break;
        case wxID_ICONIZE_FRAME:
            // Into the task bar rather than onto the screen, where the window manager lets it.
            Iconize(true);
            Show(true);
            break;
        case wxID_EXIT:
            Destroy();
            break;
        case ID_UPDATE_FAVORITE:
            UpdateFavorites();
            break;
        case ID_POPUP_ONLY_FAVORITE:
            Skin::GetConfig()->Write("/PopupDialog/onlyFavorite", event.IsChecked());
            break;
        case ID_START_AT_LOGIN:
            ChangeStartAtLogin(event.IsChecked());
            break;
        case ID_QUIET:
            SetQuiet(event.IsChecked());
            break;
        case ID_KEEP_WATCHING:
            Skin::GetConfig()->Write("/System/keepWatching", event.IsChecked());
            break;
        case ID_DESKTOP_NOTIFICATIONS:
            Skin::GetConfig()->Write("/PopupDialog/desktopNotifications", event.IsChecked());
            break;
        case ID_KEEP_HISTORY:
            m_history->SetEnabled(event.IsChecked());
            m_menuBar->Enable(HistoryWindow::ID_OPEN, event.IsChecked());
            m_historyPausedFor.clear();
            m_favoriteTree->LookAgain();
            ShowStatus();
            break;
        case ID_ORDER_BY_LAST_SEEN:
            Skin::GetConfig()->Write("/History/offlineByLastSeen", event.IsChecked());
            m_favoriteTree->SetOrderByLastSeen(event.IsChecked());
            break;
        case ID_FORGET_HISTORY:
            ForgetHistory();
            break;
        case HistoryWindow::ID_OPEN:
            OpenHistory();
            break;
        default:
            break;
    }
}

void MainFrame::ChangeStartAtLogin(bool start)
{
    // The program as it is installed, not the name it was started by.
    const bool done = start ? Autostart::Enable(Util::GetApplicationFileName().GetFullPath()) : Autostart::Disable();
    m_menuBar->Check(ID_START_AT_LOGIN, Autostart::IsEnabled());
    if ( !done )
        RunModal([] {
            wxMessageBox(wxString::Format(_("Could not change the entry %s."), Autostart::GetEntryPath()), _("Error"),
                         wxOK | wxICON_ERROR | wxCENTRE);
        });
}

void MainFrame::SetQuiet(bool quiet)
{
    Skin::GetConfig()->Write("/PopupDialog/quiet", quiet);
    m_menuBar->Check(ID_QUIET, quiet);
    if ( m_notifyIcon )
        m_notifyIcon->SetQuiet(quiet);
}

void MainFrame::OnSearchText(wxCommandEvent&)
{
    const wxString text = m_search->GetValue();
    m_allTree->SetFilter(text);
    m_favoriteTree->SetFilter(text);
    // The last result no longer holds; the new one is said once the typing pauses.
    AccessibleView::Describe(m_search, wxString());
    if ( text.empty() )
        m_searchPause->Stop();
    else
        m_searchPause->StartOnce(SEARCH_PAUSE_MS);
}

void MainFrame::OnSearchPaused(wxTimerEvent&)
{
    const wxString text = m_search->GetValue();
    UserListTreeCtrl* tree = GetShownTree();
    if ( text.empty() || !tree )
        return;
    const size_t count = tree->CountPerformers();
    const wxString result =
        count == 0 ? wxString::Format(_("No performer matches \"%s\""), text)
                   : wxString::Format(wxPLURAL("%lu performer matches \"%s\"", "%lu performers match \"%s\"", count),
                                      static_cast<unsigned long>(count), text);
    // A screen reader says a new description of the field it is in.
    AccessibleView::Describe(m_search, result);
}

void MainFrame::OnCharHook(wxKeyEvent& event)
{
    wxWindow* focus = FindFocus();
    const bool inSearch = focus && (focus == m_search || focus->GetParent() == m_search);
    const bool inTree = focus && focus == GetShownTree();
    const int key = event.GetKeyCode();
    const int modifiers = event.GetModifiers();
    if ( key == WXK_ESCAPE && inSearch )
    {
        // Emptied, and back to the names it was narrowing.
        if ( !m_search->IsEmpty() )
            m_search->Clear();
        FocusShownTree();
    }
    else if ( inSearch && modifiers == wxMOD_NONE
              && (key == WXK_DOWN || key == WXK_RETURN || key == WXK_NUMPAD_ENTER) )
    {
        FocusShownTree(true);
    }
    else if ( key == WXK_TAB && (modifiers == wxMOD_NONE || modifiers == wxMOD_SHIFT) && (inSearch || inTree) )
    {
        // The field and the tree, and back: the tabs have their own keys.
        if ( inSearch )
            FocusShownTree();
        else
            m_search->SetFocus();
    }
    else if ( modifiers == wxMOD_CONTROL && key == 'F' )
    {
        m_search->SetFocus();
        m_search->SelectAll();
    }
    else if ( (modifiers == wxMOD_CONTROL && (key == WXK_PAGEDOWN || key == WXK_PAGEUP || key == WXK_TAB))
              || (modifiers == (wxMOD_CONTROL | wxMOD_SHIFT) && key == WXK_TAB) )
    {
        // From wherever the focus is, as in the other notebooks of the desktop, into the tree of
        // the page it shows.
        m_notebook->AdvanceSelection(key == WXK_PAGEDOWN || (key == WXK_TAB && !(modifiers & wxMOD_SHIFT)));
        FocusShownTree();
    }
    else
    {
        event.Skip();
    }
}

void MainFrame::OnPageChanged(wxBookCtrlEvent& event)
{
    event.Skip();
    // A tab clicked; a tab reached with the arrow keys leaves the focus on the tabs.
    if ( wxGetMouseState().LeftIsDown() )
        CallAfter([this] { FocusShownTree(); });
}

UserListTreeCtrl* MainFrame::GetShownTree() const
{
    const int page = m_notebook->GetSelection();
    UserListTreeCtrl* tree = nullptr;
    if ( page != wxNOT_FOUND && m_notebook->GetPage(page) == m_allPanel )
        tree = m_allTree;
    else if ( page != wxNOT_FOUND && m_notebook->GetPage(page) == m_favoritePanel )
        tree = m_favoriteTree;
    if ( tree && tree->GetFilterView() )
        return tree->GetFilterView();
    return tree;
}

void MainFrame::FocusShownTree(bool firstMatch)
{
    UserListTreeCtrl* tree = GetShownTree();
    if ( !tree || !tree->IsEnabled() )
    {
        // The page's tab, which says why the page is closed.
        m_notebook->SetFocus();
        return;
    }
    if ( firstMatch )
    {
        const wxTreeItemId first = tree->GetFirstPerformer();
        if ( !first.IsOk() )
            return;
        tree->SelectItem(first);
        tree->EnsureVisible(first);
    }
    tree->SetFocus();
}

void MainFrame::ShowFavoriteHint(bool show)
{
    m_favoriteHint->Show(show);
    WrapFavoriteHint(m_favoritePanel->GetSize().x);
    AccessibleView::DescribePage(m_notebook, m_notebook->FindPage(m_favoritePanel),
                                 show ? FavoriteHintText() : wxString());
}

wxString MainFrame::FavoriteHintText()
{
    return wxString::Format(wxGetTranslation(wxS("Sign in with %s \u2192 %s to see your favourites")),
                            wxStripMenuCodes(_("&Tool"), wxStrip_Menu),
                            wxStripMenuCodes(_("&UpdateFavorite"), wxStrip_Menu));
}

void MainFrame::WrapFavoriteHint(int width)
{
    if ( !m_favoriteHint->IsShown() || width <= HINT_MARGIN * 2 )
        return;
    m_favoriteHint->SetLabel(FavoriteHintText());
    m_favoriteHint->Wrap(width - HINT_MARGIN * 2);
    m_favoritePanel->Layout();
}

wxStatusBar* MainFrame::OnCreateStatusBar(int WXUNUSED(number), long style, wxWindowID id, const wxString& name)
{
    return new StatusLine(this, id, style, name);
}

void MainFrame::OnSyncStatus(SyncStatusEvent& event)
{
    wxString text;
    if ( event.GetFailures() > 0 )
        text = wxString::Format(wxPLURAL("No answer from the site since %s (%d try)",
                                         "No answer from the site since %s (%d tries)", event.GetFailures()),
                                event.GetFailingSince().FormatISOTime(), event.GetFailures());
    else
        // The middle dot is not ASCII: written so that no source or locale encoding can spoil it.
        text = wxString::Format(wxGetTranslation(wxS("%lu online \u00B7 updated %s")),
                                static_cast<unsigned long>(event.GetOnline()), event.GetLastSuccess().FormatISOTime());
    m_syncStatus = text;
    ShowStatus();
    // Posted after a poll's changes: the trees have them all.
    m_allTree->PollApplied();
    m_favoriteTree->PollApplied();
}

void MainFrame::OnHistoryStatus(HistoryStatusEvent& event)
{
    switch ( event.GetState() )
    {
        case HistoryStatusEvent::PAUSED:
            m_historyPausedFor = event.GetReason();
            break;
        case HistoryStatusEvent::WRITTEN:
            m_historyPausedFor.clear();
            break;
        case HistoryStatusEvent::FORGOTTEN:
            m_favoriteTree->LookAgain();
            break;
    }
    ShowStatus();
}

void MainFrame::ShowStatus()
{
    wxString text = m_syncStatus;
    if ( !m_historyPausedFor.empty() )
    {
        const wxString note = wxString::Format(_("watch history paused: %s"), m_historyPausedFor);
        text = text.empty() ? note : text + wxS(" \u00B7 ") + note;
    }
    if ( !m_historyPausedFor.empty() )
        wxLogTrace("lumora", "status line: %s", text);
    SetStatusText(text);
}

void MainFrame::OpenHistory()
{
    if ( !m_history->IsEnabled() )
        return;
    // The selected row's, on the page shown; else the user chooses among the performers the
    // history knows.
    UserListTreeCtrl* tree = GetShownTree();
    if ( tree && tree->OpenHistory() )
        return;
    std::vector<wxString> names;
    HistoryReader* reader = m_history->GetReader();
    if ( !reader || !reader->ListNames(names) || names.empty() )
    {
        RunModal([this] {
            wxMessageBox(_("The watch history knows nobody yet."), _("History"), wxOK | wxICON_INFORMATION | wxCENTRE,
                         this);
        });
        return;
    }
    wxArrayString choices;
    for ( const wxString& name : names )
        choices.Add(name);
    int chosen = wxNOT_FOUND;
    if ( !RunModal([&] {
             wxSingleChoiceDialog dialog(this, _("Whose history?"), _("History"), choices);
             if ( dialog.ShowModal() == wxID_OK )
                 chosen = dialog.GetSelection();
         })
         || chosen == wxNOT_FOUND )
        return;
    HistoryWindow::ShowFor(this, m_history->GetPath(), m_history->GetClock(), choices[chosen]);
}

void MainFrame::ForgetHistory()
{
    int answer = wxNO;
    if ( !RunModal([&answer, this] {
             answer = wxMessageBox(_("Forget the whole watch history? Every session and every watched hour it holds "
                                     "is deleted, and cannot be brought back."),
                                   _("Forget the history"), wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION | wxCENTRE, this);
         })
         || answer != wxYES )
        return;
    m_history->Forget();
}

void MainFrame::OnUpdateStartAtLogin(wxUpdateUIEvent& event)
{
    event.Check(Autostart::IsEnabled());
}

void MainFrame::OnIconize(wxIconizeEvent& event)
{
    if ( event.IsIconized() )
    {
        // Without a tray the iconized frame stays in the task bar, where the user finds it.
        if ( CanHideInTray() )
            Show(false);
    }
    else if ( IsShown() )
    {
        Show(true);
        Raise();
    }
    // A frame hidden in the tray comes back only through the tray. Window managers that take the
    // iconized state off a window when it is hidden report that as a restore, and showing the
    // frame for it would iconize and hide it again, over and over.
}

void MainFrame::UpdateFavorites()
{
    if ( !m_loggedIn )
    {
        AuthenticationDialog dialog(this, wxID_ANY, _("Authentication"), wxDefaultPosition,
                                    wxDefaultSize, wxDEFAULT_DIALOG_STYLE);
        dialog.SetPasswordStore(m_passwords);
        int answer = wxID_CANCEL;
        m_modalDialog = &dialog;
        const bool staying = RunModal([&] { answer = dialog.ShowModal(); });
        m_modalDialog = nullptr;
        if ( !staying || answer != wxID_OK )
            return;
        // What was typed goes out, wherever it is kept and however long that takes.
        SignIn(dialog.GetPasswordField()->GetValue());
        return;
    }
    m_passwords->Load([this](const wxString& password) { SignIn(password); });
}

void MainFrame::SignIn(const wxString& password)
{
    const wxString id = Skin::GetConfig()->Read("/id", wxEmptyString);
    // Encoded, so that what the user typed is what the site receives.
    const wxString url = SiteHosts::MakeUrl(SiteHosts::MAIN, "/tovrik?username=" + QueryText::Encode(id)
                                                                 + "&password=" + QueryText::Encode(password));
    wxHTTP2* client = new wxHTTP2;
    // A sign-in that gets no answer fails after this, not after the toolkit's default minute.
    client->SetTimeout(SIGN_IN_TIMEOUT_SECONDS);
    DownloadThread* thread = new DownloadThread(this, wxID_ANY, new wxURL(url), client, 0,
                                                wxTHREAD_DETACHED);
    if ( thread->Run() != wxTHREAD_NO_ERROR )
    {
        wxLogTrace("lumora", "MainFrame: the favourites download did not start");
        delete thread;
    }
}

void MainFrame::OnDownloadFinished(DownloadFinishedEvent& event)
{
    char* body = static_cast<char*>(event.GetClientData());
    if ( !body )
    {
        if ( !m_loggedIn )
            RunModal([] { wxMessageBox(_("Could not login."), _("Error"), wxOK | wxICON_ERROR | wxCENTRE); });
        return;
    }
    const wxArrayString names = FavoritesParser::Parse(body, static_cast<size_t>(event.GetInt()));
    ::operator delete(body);
    event.SetClientData(nullptr);

    const UserList site = Site::GetInstance()->GetUserList();
    UserList favorites;
    wxString stored;
    for ( const wxString& name : names )
    {
        stored += name + ",";
        const User* online = site.FindUser(name);
        favorites.AddUser(online ? *online : User(name, STATUS_OFFLINE));
    }

    if ( !m_loggedIn )
    {
        m_daemonThread->AddEventHandler(m_favoriteTree);
        m_favoritePanel->Enable(true);
        ShowFavoriteHint(false);
        m_favoriteTree->CreateGroupItems();
        m_notebook->SetSelection(m_notebook->FindPage(m_favoritePanel));
        m_menuBar->Enable(ID_POPUP_ONLY_FAVORITE, true);
    }
    UserListEvent list(wxEVT_USER_LIST_INITIALIZED, FavoriteTreeCtrl::FAVORITES_LIST_ID);
    list.SetUserList(favorites);
    m_favoriteTree->GetEventHandler()->AddPendingEvent(list);
    Skin::GetConfig()->Write("/favorites", stored);
    m_loggedIn = true;
    wxLogTrace("lumora", "MainFrame: signed in, %d favourites", static_cast<int>(names.size()));
}
