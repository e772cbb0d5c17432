#include "sync/PerformerListParser.h"

#include "net/StopSignal.h"

#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/stream.h>
#include <wx/thread.h>
#include <wx/utils.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
const char VIEWERS[] = "viewers = ";
const size_t VIEWERS_LENGTH = sizeof(VIEWERS) - 1;
const char PERFORMERS[] = "_performers";
const size_t PERFORMERS_LENGTH = sizeof(PERFORMERS) - 1;

inline bool IsAlpha(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

inline bool IsWordChar(unsigned char c)
{
    return IsAlpha(c) || IsDigit(c) || c == '_';
}

// The name of "([[:alnum:]_]+).viewers = ([[:digit:]]+)" in an ASCII line. The leftmost match
// always starts at the beginning of a run of word characters and belongs to the first
// "viewers = " that has a word character two places before it and a digit after it.
bool FindViewers(const char* line, size_t length, size_t& nameStart, size_t& nameEnd)
{
    const char* end = line + length;
    const char* p = line;
    while ( (p = static_cast<const char*>(memchr(p, 'v', end - p))) != nullptr )
    {
        const size_t at = p - line;
        if ( at >= 2 && length - at > VIEWERS_LENGTH && memcmp(p, VIEWERS, VIEWERS_LENGTH) == 0
             && IsDigit(line[at + VIEWERS_LENGTH]) && IsWordChar(line[at - 2]) )
        {
            nameEnd = at - 1;
            nameStart = nameEnd - 1;
            while ( nameStart > 0 && IsWordChar(line[nameStart - 1]) )
                --nameStart;
            return true;
        }
        ++p;
    }
    return false;
}

// The list name of "([[:alpha:]]+)_performers.add\(([[:alnum:]_]+)\)" in an ASCII line,
// found the same way from the first "_performers" that completes a match.
bool FindList(const char* line, size_t length, size_t& nameStart, size_t& nameEnd)
{
    const char* end = line + length;
    const char* p = line;
    while ( (p = static_cast<const char*>(memchr(p, '_', end - p))) != nullptr )
    {
        const size_t at = p - line;
        // "_performers" + any character + "add(" + a word + ")"
        if ( at >= 1 && IsAlpha(line[at - 1]) && length - at >= PERFORMERS_LENGTH + 7
             && memcmp(p, PERFORMERS, PERFORMERS_LENGTH) == 0
             && memcmp(p + PERFORMERS_LENGTH + 1, "add(", 4) == 0 )
        {
            size_t word = at + PERFORMERS_LENGTH + 5;
            const size_t wordStart = word;
            while ( word < length && IsWordChar(line[word]) )
                ++word;
            if ( word > wordStart && word < length && line[word] == ')' )
            {
                nameEnd = at;
                nameStart = at - 1;
                while ( nameStart > 0 && IsAlpha(line[nameStart - 1]) )
                    --nameStart;
                return true;
            }
        }
        ++p;
    }
    return false;
}

bool IsAscii(const char* line, size_t length)
{
    for ( size_t i = 0; i < length; ++i )
    {
        if ( static_cast<unsigned char>(line[i]) & 0x80 )
            return false;
    }
    return true;
}
}

class PerformerListParser::State
{
public:
    explicit State(UserList& list)
        : m_list(list)
    {
    }

    UserList& m_list;
    bool m_open = false;
    wxString m_name;
    int m_status = STATUS_OFFLINE;
    // Pause owed and not yet slept; below 0 while what was slept beforehand lasts.
    long m_owedMs = 0;
};

PerformerListParser::PerformerListParser()
    : m_viewers("([[:alnum:]_]+).viewers = ([[:digit:]]+)")
    , m_list("([[:alpha:]]+)_performers.add\\(([[:alnum:]_]+)\\)")
{
}

PerformerListParser::~PerformerListParser() = default;

int PerformerListParser::ApplyList(int status, const std::string& listName)
{
    if ( listName == "online" )
        return status | STATUS_ONLINE;
    if ( listName == "free" )
        return (status | STATUS_ONLINE | STATUS_FREE) & ~(STATUS_BUSY | STATUS_PUBLIC | STATUS_PRIVATE);
    if ( listName == "busy" )
    {
        // A private chat stays private when "busy" comes after it.
        const int show = (status & STATUS_PRIVATE) ? 0 : STATUS_PUBLIC;
        return (status | STATUS_ONLINE | STATUS_BUSY | show) & ~STATUS_FREE;
    }
    if ( listName == "public" )
        return (status | STATUS_ONLINE | STATUS_BUSY | STATUS_PUBLIC) & ~(STATUS_FREE | STATUS_PRIVATE);
    if ( listName == "private" )
        return (status | STATUS_ONLINE | STATUS_BUSY | STATUS_PRIVATE) & ~(STATUS_FREE | STATUS_PUBLIC);
    return status;
}

bool PerformerListParser::StorePerformer(State& state)
{
    if ( !state.m_open )
        return true;
    state.m_list.AddUser(User(state.m_name, state.m_status));
    state.m_open = false;
    state.m_status = STATUS_OFFLINE;
    state.m_owedMs += m_pauseMs;
    // One wake-up per piece rather than one per performer; the total stays the same.
    return Pause(state, std::max(m_pausePieceMs, 1));
}

bool PerformerListParser::Pause(State& state, long atLeastMs)
{
    if ( state.m_owedMs >= atLeastMs && state.m_owedMs > 0 )
    {
        const long ms = state.m_owedMs;
        state.m_owedMs = 0;
        if ( m_stopSignal )
            m_stopSignal->Sleep(ms);
        else if ( wxThread::IsMain() )
            wxMilliSleep(ms);
        else
            wxThread::Sleep(ms);
    }
    return !ShouldStop();
}

bool PerformerListParser::ShouldStop() const
{
    return (m_stopSignal && m_stopSignal->IsRaised()) || (m_shouldStop && m_shouldStop());
}

bool PerformerListParser::ExamineLine(const char* line, size_t length, State& state)
{
    if ( !IsAscii(line, length) )
        return ExamineWithRegEx(line, length, state);

    size_t start = 0;
    size_t end = 0;
    if ( FindViewers(line, length, start, end) )
    {
        if ( !StorePerformer(state) )
            return false;
        state.m_open = true;
        state.m_name = wxString::FromAscii(line + start, end - start);
        return true;
    }
    if ( FindList(line, length, start, end) )
        state.m_status = ApplyList(state.m_status, std::string(line + start, end - start));
    return true;
}

bool PerformerListParser::ExamineWithRegEx(const char* line, size_t length, State& state)
{
    wxString text = wxString::FromUTF8(line, length);
    if ( text.empty() && length > 0 )
        text = wxString(line, wxConvISO8859_1, length);
    if ( m_viewers.Matches(text) )
    {
        if ( !StorePerformer(state) )
            return false;
        state.m_open = true;
        state.m_name = m_viewers.GetMatch(text, 1);
        return true;
    }
    if ( m_list.Matches(text) )
        state.m_status = ApplyList(state.m_status, std::string(m_list.GetMatch(text, 1).utf8_str()));
    return true;
}

PerformerListParser::Result PerformerListParser::Parse(const char* data, size_t size, UserList& list)
{
    wxMemoryInputStream input(data, size);
    return Parse(input, list);
}

PerformerListParser::Result PerformerListParser::Parse(wxInputStream& input, UserList& list)
{
    State state(list);
    state.m_owedMs = -m_prepaidMs;
    std::vector<char> line;
    line.reserve(256);
    bool skipping = false;   // inside a line longer than MAX_LINE
    bool afterCR = false;    // a "\n" right after "\r" belongs to the same line end
    size_t total = 0;
    const size_t announced = input.GetSize();
    // Streams of unknown size say 0, or as much as can be, as the HTTP client's does.
    const bool sized = announced > 0 && announced != static_cast<size_t>(-1);
    size_t limit = MAX_BODY;
    if ( sized && announced < limit )
        limit = announced;   // never wait for bytes a sized body will not send

    char buffer[16 * 1024];
    while ( total < limit )
    {
        if ( ShouldStop() )
            return STOPPED;
        const size_t want = std::min(sizeof(buffer), limit - total);
        input.Read(buffer, want);
        const size_t got = input.LastRead();
        if ( got == 0 )
            break;
        total += got;

        const char* p = buffer;
        const char* const end = buffer + got;
        while ( p < end )
        {
            if ( afterCR )
            {
                afterCR = false;
                if ( *p == '\n' )
                {
                    ++p;
                    continue;
                }
            }
            const char* stop = p;
            while ( stop < end && *stop != '\n' && *stop != '\r' )
                ++stop;
            if ( !skipping )
            {
                if ( line.size() + (stop - p) > MAX_LINE )
                {
                    skipping = true;
                    line.clear();
                }
                else
                {
                    line.insert(line.end(), p, stop);
                }
            }
            if ( stop == end )
                break;
            afterCR = *stop == '\r';
            if ( !skipping && !ExamineLine(line.data(), line.size(), state) )
                return STOPPED;
            skipping = false;
            line.clear();
            p = stop + 1;
        }
        if ( input.Eof() || !input.IsOk() )
            break;
    }
    // Asked first: a stop cuts the read short too, and must not look like a failure.
    if ( ShouldStop() )
        return STOPPED;
    if ( input.GetLastError() == wxSTREAM_READ_ERROR || (sized && total < limit) )
    {
        wxLogTrace("lumora", "performer list: cut after %lu bytes", static_cast<unsigned long>(total));
        return CUT;
    }
    // The list is whole once the pause it still owes is over.
    if ( !StorePerformer(state) || !Pause(state, 0) )
        return STOPPED;
    return COMPLETE;
}
