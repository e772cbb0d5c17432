#pragma once

#include <wx/frame.h>

#include <functional>

class AllTreeCtrl;
class DaemonThread;
class DownloadFinishedEvent;
class FavoriteTreeCtrl;
class HistoryStatusEvent;
class NotifyIcon;
class PasswordStore;
class PopupDialogManager;
class SyncStatusEvent;
class WatchHistory;
class wxDialog;
class wxIconizeEvent;
class wxUpdateUIEvent;
class wxNotebook;
class wxPanel;
class wxKeyEvent;
class wxSearchCtrl;
class wxStaticText;
class wxTimer;
class wxTimerEvent;
class wxBookCtrlEvent;
class UserListTreeCtrl;

enum
{
    ID_UPDATE_FAVORITE = 6000,
    ID_POPUP_ONLY_FAVORITE = 6001,
    ID_START_AT_LOGIN = 6002,
    ID_QUIET = 6003,
    ID_KEEP_WATCHING = 6004,
    ID_DESKTOP_NOTIFICATIONS = 6005,
    ID_KEEP_HISTORY = 6006,
    ID_FORGET_HISTORY = 6007,
    ID_ORDER_BY_LAST_SEEN = 6008
};

// The plug-in's one application window: the "All" and "Favorite" trees in a notebook, the
// menus, the tray icon, and the polling thread that feeds the trees. Every command of the
// plug-in ends in OnMenu.
class MainFrame : public wxFrame
{
public:
    MainFrame();
    ~MainFrame() override;

    // While one of our handlers runs a modal dialog, the frame must not go from under it: the
    // dialog is ended first, and the frame goes once its loop has returned.
    bool Destroy() override;
    // The status line that screen readers read.
    wxStatusBar* OnCreateStatusBar(int number, long style, wxWindowID id, const wxString& name) override;

    AllTreeCtrl* GetAllTree() const { return m_allTree; }
    FavoriteTreeCtrl* GetFavoriteTree() const { return m_favoriteTree; }
    wxNotebook* GetNotebook() const { return m_notebook; }
    NotifyIcon* GetNotifyIcon() const { return m_notifyIcon; }
    wxPanel* GetFavoritePanel() const { return m_favoritePanel; }
    wxSearchCtrl* GetSearch() const { return m_search; }
    bool IsLoggedIn() const { return m_loggedIn; }
    WatchHistory* GetHistory() const { return m_history; }

private:
    void CreateMenus();
    void DoLayout();
    void RestoreGeometry();
    void SaveGeometry();
    // Hiding into the tray is only safe when there is a tray to come back from.
    bool CanHideInTray() const;

    // Runs a modal dialog or box from one of our handlers; false when the frame has been asked
    // to go meanwhile, in which case it is on its way out and the handler must stop.
    bool RunModal(const std::function<void()>& show);
    // Asks for the account the first time, then fetches the favourites in the background.
    void UpdateFavorites();
    // Sends the sign-in with the stored user name and this password.
    void SignIn(const wxString& password);
    void OnMenu(wxCommandEvent& event);
    void OnIconize(wxIconizeEvent& event);
    // The tick follows the autostart entry, which the user may also remove by other means.
    void OnUpdateStartAtLogin(wxUpdateUIEvent& event);
    void ChangeStartAtLogin(bool start);
    // Stores the choice and shows it in both menus and the tray's tooltip.
    void SetQuiet(bool quiet);
    // The status line: the last good list, or since when the site has not answered.
    void OnSyncStatus(SyncStatusEvent& event);
    // A paused history is told in the status line, for as long as it is paused.
    void OnHistoryStatus(HistoryStatusEvent& event);
    void ShowStatus();
    // Asks, then forgets the whole watch history.
    void ForgetHistory();
    // The history window of the selected performer, or of one the user chooses.
    void OpenHistory();
    // The search field narrows both trees to the names that hold its text; Esc empties it.
    void OnSearchText(wxCommandEvent& event);
    // Once the typing has paused: how many the search found, said to screen readers.
    void OnSearchPaused(wxTimerEvent& event);
    // Keys that work anywhere in the frame: Ctrl+F for the search field, Esc there back to the
    // tree, Down or Enter there to the first match, Tab between the field and the tree,
    // Ctrl+PageUp, Ctrl+PageDown and Ctrl+Tab for the pages.
    void OnCharHook(wxKeyEvent& event);
    // A tab clicked takes the user into its page's tree.
    void OnPageChanged(wxBookCtrlEvent& event);
    // The tree the user sees on the current page: the full one, or its filtered view.
    UserListTreeCtrl* GetShownTree() const;
    // Into the shown page's tree, on its selected row (or first); onto the page's tab when the
    // page is closed until the sign-in. With firstMatch, on its first performer.
    void FocusShownTree(bool firstMatch = false);
    // What the Favorite page says before the sign-in: on the page, and with its tab.
    void ShowFavoriteHint(bool show);
    static wxString FavoriteHintText();
    void WrapFavoriteHint(int width);
    void OnDownloadFinished(DownloadFinishedEvent& event);

    wxMenuBar* m_menuBar = nullptr;
    AllTreeCtrl* m_allTree = nullptr;
    wxPanel* m_allPanel = nullptr;
    FavoriteTreeCtrl* m_favoriteTree = nullptr;
    wxPanel* m_favoritePanel = nullptr;
    wxNotebook* m_notebook = nullptr;
    wxSearchCtrl* m_search = nullptr;
    wxTimer* m_searchPause = nullptr;
    wxStaticText* m_favoriteHint = nullptr;
    DaemonThread* m_daemonThread = nullptr;
    PopupDialogManager* m_popupManager = nullptr;
    NotifyIcon* m_notifyIcon = nullptr;
    PasswordStore* m_passwords = nullptr;
    WatchHistory* m_history = nullptr;
    // The status line: what the last attempt said, and why the history is paused, if it is.
    wxString m_syncStatus;
    wxString m_historyPausedFor;
    bool m_loggedIn = false;
    // Modal loops that our handlers have open, and the one dialog of ours among them.
    int m_modalDepth = 0;
    wxDialog* m_modalDialog = nullptr;
    bool m_destroyRequested = false;

    wxDECLARE_EVENT_TABLE();
};
