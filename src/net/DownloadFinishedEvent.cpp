#include "net/DownloadFinishedEvent.h"

wxDEFINE_EVENT(wxEVT_DOWNLOAD_FINISHED, DownloadFinishedEvent);

DownloadFinishedEvent::DownloadFinishedEvent(wxEventType type, int id)
    : wxEvent(id, type)
{
}

wxEvent* DownloadFinishedEvent::Clone() const
{
    return new DownloadFinishedEvent(*this);
}
