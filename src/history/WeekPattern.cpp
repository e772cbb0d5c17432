#include "history/WeekPattern.h"

#include <algorithm>
#include <bitset>
#include <ctime>

namespace
{
const std::int64_t WEEK = 7 * 24 * 3600;
const int MAX_WEEKS = 32;

int Count(std::uint32_t bits)
{
    return static_cast<int>(std::bitset<32>(bits).count());
}
}

WeekPattern::WeekPattern(std::int64_t now, int weeks)
    : m_now(now)
    , m_weeks(std::min(std::max(weeks, 1), MAX_WEEKS))
    , m_cells(DAYS * HOURS)
    , m_watchedWeeks(DAYS * HOURS, 0)
    , m_onlineWeeks(DAYS * HOURS, 0)
{
    m_start = now - m_weeks * WEEK;
}

template <typename Add>
void WeekPattern::Spread(std::int64_t from, std::int64_t to, Add add)
{
    from = std::max(from, m_start);
    to = std::min(to, m_now);
    while ( from < to )
    {
        const time_t at = static_cast<time_t>(from);
        std::tm local;
        localtime_r(&at, &local);
        // To the next full hour of the clock on the wall.
        const std::int64_t end = std::min<std::int64_t>(to, from + 3600 - local.tm_min * 60 - local.tm_sec);
        const int cell = ((local.tm_wday + 6) % 7) * HOURS + local.tm_hour;
        const int week = static_cast<int>((from - m_start) / WEEK);
        add(m_cells[cell], cell, week, static_cast<double>(end - from));
        from = std::max(end, from + 1);
    }
}

void WeekPattern::AddWatched(std::int64_t from, std::int64_t to)
{
    Spread(from, to, [this](Cell& cell, int index, int week, double seconds) {
        cell.watched += seconds;
        m_watchedWeeks[index] |= 1u << week;
        cell.watchedWeeks = Count(m_watchedWeeks[index]);
    });
}

void WeekPattern::AddOnline(std::int64_t from, std::int64_t to)
{
    // A session may go on across a short gap in the watching: only what was watched counts.
    Spread(from, to, [this](Cell& cell, int index, int week, double seconds) {
        if ( !(m_watchedWeeks[index] & (1u << week)) )
            return;
        cell.online = std::min(cell.watched, cell.online + seconds);
        m_onlineWeeks[index] |= 1u << week;
        cell.onlineWeeks = Count(m_onlineWeeks[index]);
    });
}

double WeekPattern::GetWatchedHours() const
{
    double seconds = 0;
    for ( const Cell& cell : m_cells )
        seconds += cell.watched;
    return seconds / 3600;
}

void WeekPattern::GetUsual(std::vector<int>& days, std::vector<int>& hours) const
{
    days.clear();
    hours.clear();
    for ( int day = 0; day < DAYS; ++day )
    {
        for ( int hour = 0; hour < HOURS; ++hour )
        {
            const Cell& cell = GetCell(day, hour);
            if ( cell.IsWatched() && cell.Share() >= USUAL_SHARE )
            {
                days.push_back(day);
                break;
            }
        }
    }
    for ( int hour = 0; hour < HOURS && !days.empty(); ++hour )
    {
        const size_t usual = std::count_if(days.begin(), days.end(), [&](int day) {
            const Cell& cell = GetCell(day, hour);
            return cell.IsWatched() && cell.Share() >= USUAL_SHARE;
        });
        if ( usual * 2 >= days.size() )
            hours.push_back(hour);
    }
}

std::vector<std::pair<int, int>> WeekPattern::GetLikeliest(size_t count) const
{
    std::vector<std::pair<int, int>> cells;
    for ( int day = 0; day < DAYS; ++day )
    {
        for ( int hour = 0; hour < HOURS; ++hour )
        {
            if ( GetCell(day, hour).Share() > 0 )
                cells.emplace_back(day, hour);
        }
    }
    std::stable_sort(cells.begin(), cells.end(), [this](const std::pair<int, int>& a, const std::pair<int, int>& b) {
        return GetCell(a.first, a.second).Share() > GetCell(b.first, b.second).Share();
    });
    if ( cells.size() > count )
        cells.resize(count);
    return cells;
}
