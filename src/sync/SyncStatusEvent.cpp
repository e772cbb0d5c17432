#include "sync/SyncStatusEvent.h"

wxDEFINE_EVENT(wxEVT_SYNC_STATUS, SyncStatusEvent);

SyncStatusEvent::SyncStatusEvent(size_t online, const wxDateTime& lastSuccess, const wxDateTime& failingSince,
                                 int failures)
    : wxEvent(wxID_ANY, wxEVT_SYNC_STATUS)
    , m_online(online)
    , m_lastSuccess(lastSuccess)
    , m_failingSince(failingSince)
    , m_failures(failures)
{
}
