#include "history/WatchHistory.h"

#include "history/HistoryReader.h"
#include "history/HistoryWriter.h"
#include "shell/BoolSetting.h"

#include <wx/config.h>

namespace
{
const char KEEP_KEY[] = "/History/keep";
}

WatchHistory::WatchHistory(wxConfigBase& config, wxEvtHandler* receiver, const wxString& path,
                           const HistoryClock& clock)
    : m_config(config)
    , m_path(path)
    , m_clock(clock)
    , m_enabled(BoolSetting::Read(config, KEEP_KEY, true))
    , m_writer(new HistoryWriter(path, clock, receiver))
    , m_reader(new HistoryReader(path))
{
    m_writer->SetEnabled(m_enabled);
}

WatchHistory::~WatchHistory()
{
    m_writer->Stop();
}

void WatchHistory::SetEnabled(bool enabled)
{
    m_enabled = enabled;
    m_config.Write(KEEP_KEY, enabled);
    m_writer->SetEnabled(enabled);
    if ( !enabled )
        m_reader->Close();
}

void WatchHistory::Forget()
{
    // The reader lets go of the file while it shrinks.
    m_reader->Close();
    m_writer->Forget();
}
