#pragma once

#include <wx/app.h>

#include <memory>

class ModalDialogs;
class SingleInstance;
class wxLocale;
class wxPluginLibrary;

// The host program: loads the plug-in beside itself, hands it the toolkit, and runs until the
// plug-in's main window is gone.
class HostApp : public wxApp
{
public:
    HostApp();
    ~HostApp() override;

    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;

private:
    static void OnStopSignal(int signal);
    // Ends the open dialogs, then the windows; a start still under way goes no further.
    void Stop();
    void CloseWindows();
    bool InstallConfig(const wxString& path);
    // The per-user file, once the plug-in has named itself.
    wxString DefaultConfigPath();
    // False when another copy already watches with that configuration: this one then ends.
    bool IsOnlyCopy(const wxString& configPath);
    void SetUpLocale();
    bool LoadPlugin();
    bool OpenPlugin(wxString& reason);
    // Puts a newer plug-in in place when the loaded one offers one.
    void UpdatePlugin();
    bool SwapPlugin(const wxString& newPath, wxString& problem);
    // A swap that never ended (the program died while the new plug-in loaded) leaves the old one
    // beside it: that one comes back before anything is loaded.
    void FinishInterruptedSwap();
    // Drops the companion files that wait for a plug-in that was not taken.
    static void DiscardCompanions();
    void UnloadPlugin();
    // Reports the problem; the program then ends with status 1.
    void SetFailure(const wxString& message);

    wxString m_configPath;
    wxString m_language;
    bool m_noUpdate = false;
    wxString m_pluginPath;
    wxPluginLibrary* m_plugin = nullptr;
    std::unique_ptr<wxLocale> m_locale;
    std::unique_ptr<SingleInstance> m_singleInstance;
    std::unique_ptr<ModalDialogs> m_modalDialogs;
    bool m_stopRequested = false;
    int m_exitCode = 0;
};
