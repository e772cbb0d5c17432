#pragma once

#include <wx/string.h>

#include <memory>

class HistoryClock;
class HistoryReader;
class HistoryWriter;
class wxConfigBase;
class wxEvtHandler;

// The watch history as the main window has it: on unless the user turned it off (kept in the
// configuration as "/History/keep"), written by a thread of its own, read for the windows.
// Made, used and destroyed on the main thread; destroying it ends the writer's thread.
class WatchHistory
{
public:
    // The file at path, the time by clock (which must outlive the history); receiver hears
    // what becomes of the history (a HistoryStatusEvent).
    WatchHistory(wxConfigBase& config, wxEvtHandler* receiver, const wxString& path, const HistoryClock& clock);
    ~WatchHistory();

    WatchHistory(const WatchHistory&) = delete;
    WatchHistory& operator=(const WatchHistory&) = delete;

    bool IsEnabled() const { return m_enabled; }
    // Off, nothing is written and the file is let go of.
    void SetEnabled(bool enabled);
    // Every row goes, and the file shrinks.
    void Forget();

    HistoryWriter& GetWriter() { return *m_writer; }
    // Null while the history is off: the windows then say nothing of it.
    HistoryReader* GetReader() { return m_enabled ? m_reader.get() : nullptr; }
    const HistoryClock& GetClock() const { return m_clock; }
    const wxString& GetPath() const { return m_path; }

private:
    wxConfigBase& m_config;
    wxString m_path;
    const HistoryClock& m_clock;
    bool m_enabled;
    std::unique_ptr<HistoryWriter> m_writer;
    std::unique_ptr<HistoryReader> m_reader;
};
