#pragma once

#include "model/UserList.h"

#include <wx/regex.h>

#include <climits>
#include <functional>
#include <string>

class StopSignal;
class wxInputStream;

// Turns the site's performer list script into users with status flags. A viewers line opens a
// performer's block; the list lines after it, up to the next viewers line, set its status.
// Lines that end the data without a line break are not examined.
class PerformerListParser
{
public:
    // A longer line is skipped; a longer body is cut there, as if it had ended.
    static constexpr size_t MAX_LINE = 64 * 1024;
    static constexpr size_t MAX_BODY = 32 * 1024 * 1024;

    enum Result
    {
        COMPLETE, // the data ended (or the body limit was reached): the list is valid
        STOPPED,  // the stop test said so: the list must be thrown away
        CUT       // a read failed or a sized body ended early: the list is only a part
    };

    PerformerListParser();
    ~PerformerListParser();

    // As a piece of the pause: all of it in one wait once the list is whole.
    static constexpr int WHOLE_LIST = INT_MAX;

    // A pause owed for each stored performer, so that a long list does not hog the machine: a
    // list of N performers takes at least N times this. Slept once a piece of pieceMs is owed
    // (0: after each performer), and what is left at the end of the list.
    void SetPauseMs(int milliseconds, int pieceMs = 0)
    {
        m_pauseMs = milliseconds;
        m_pausePieceMs = pieceMs;
    }
    // Pause already slept for this list, before its body was read: owed only beyond it.
    void SetPrepaidMs(long milliseconds) { m_prepaidMs = milliseconds; }
    // Asked between reads and after each performer; true ends the parse at once.
    void SetStopTest(const std::function<bool()>& shouldStop) { m_shouldStop = shouldStop; }
    // Ends a pause at once when raised (which ends the parse as the stop test does).
    void SetStopSignal(StopSignal* signal) { m_stopSignal = signal; }

    Result Parse(wxInputStream& input, UserList& list);
    Result Parse(const char* data, size_t size, UserList& list);

    // The list-line rules applied to a status word, by list name.
    static int ApplyList(int status, const std::string& listName);

private:
    class State;

    bool ExamineLine(const char* line, size_t length, State& state);
    bool ExamineWithRegEx(const char* line, size_t length, State& state);
    bool StorePerformer(State& state);
    // Sleeps what is owed once it reaches atLeastMs; false when stopped.
    bool Pause(State& state, long atLeastMs);
    bool ShouldStop() const;

    int m_pauseMs = 0;
    int m_pausePieceMs = 0;
    long m_prepaidMs = 0;
    std::function<bool()> m_shouldStop;
    StopSignal* m_stopSignal = nullptr;
    // Only for lines with non-ASCII text, where the character classes need the real thing.
    wxRegEx m_viewers;
    wxRegEx m_list;
};
