#pragma once

#include <wx/frame.h>

class AllTreeCtrl;
class DaemonThread;
class DownloadFinishedEvent;
class FavoriteTreeCtrl;
class NotifyIcon;
class PopupDialogManager;
class wxIconizeEvent;
class wxNotebook;
class wxPanel;

enum
{
    ID_UPDATE_FAVORITE = 6000,
    ID_POPUP_ONLY_FAVORITE = 6001
};

// The plug-in's one application window: the "All" and "Favorite" trees in a notebook, the
// menus, the tray icon, and the polling thread that feeds the trees. Every command of the
// plug-in ends in OnMenu.
class MainFrame : public wxFrame
{
public:
    MainFrame();
    ~MainFrame() override;

    AllTreeCtrl* GetAllTree() const { return m_allTree; }
    FavoriteTreeCtrl* GetFavoriteTree() const { return m_favoriteTree; }
    wxNotebook* GetNotebook() const { return m_notebook; }
    NotifyIcon* GetNotifyIcon() const { return m_notifyIcon; }
    wxPanel* GetFavoritePanel() const { return m_favoritePanel; }
    bool IsLoggedIn() const { return m_loggedIn; }

private:
    void CreateMenus();
    void DoLayout();
    void RestoreGeometry();
    void SaveGeometry();
    // Hiding into the tray is only safe when there is a tray to come back from.
    bool CanHideInTray() const;

    // Asks for the account the first time, then fetches the favourites in the background.
    void UpdateFavorites();
    void OnMenu(wxCommandEvent& event);
    void OnIconize(wxIconizeEvent& event);
    void OnDownloadFinished(DownloadFinishedEvent& event);

    wxMenuBar* m_menuBar = nullptr;
    AllTreeCtrl* m_allTree = nullptr;
    wxPanel* m_allPanel = nullptr;
    FavoriteTreeCtrl* m_favoriteTree = nullptr;
    wxPanel* m_favoritePanel = nullptr;
    wxNotebook* m_notebook = nullptr;
    DaemonThread* m_daemonThread = nullptr;
    PopupDialogManager* m_popupManager = nullptr;
    NotifyIcon* m_notifyIcon = nullptr;
    bool m_loggedIn = false;

    wxDECLARE_EVENT_TABLE();
};
