#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// When a performer is usually online: each hour of the week (seven days from Monday by 24 hours,
// in local time) over the last weeks, with the time watched in it and the time the performer was
// online in it. Time not watched counts for nothing: a share is of the watched time only, and an
// hour never watched has none.
class WeekPattern
{
public:
    static constexpr int DAYS = 7;
    static constexpr int HOURS = 24;
    // An hour is usual when the performer was online at least this share of its watched time.
    static constexpr double USUAL_SHARE = 0.5;

    struct Cell
    {
        // Seconds, over all the weeks.
        double watched = 0;
        double online = 0;
        // The weeks in which the hour was watched, and those of them that found the performer online.
        int watchedWeeks = 0;
        int onlineWeeks = 0;

        bool IsWatched() const { return watched > 0; }
        double Share() const { return watched > 0 ? online / watched : 0; }
    };

    // The weeks (at most 32) before now, the last of them ending now; times in seconds since 1970.
    WeekPattern(std::int64_t now, int weeks);

    // Time watched, and then time the performer was online; what lies outside the weeks, and
    // online time in an hour and week not watched, is left out.
    void AddWatched(std::int64_t from, std::int64_t to);
    void AddOnline(std::int64_t from, std::int64_t to);

    // day 0 is Monday.
    const Cell& GetCell(int day, int hour) const { return m_cells[day * HOURS + hour]; }
    int GetWeeks() const { return m_weeks; }
    std::int64_t GetStart() const { return m_start; }
    std::int64_t GetNow() const { return m_now; }
    double GetWatchedHours() const;

    // The days with a usual hour, and the hours usual on at least half of those days.
    void GetUsual(std::vector<int>& days, std::vector<int>& hours) const;
    // The watched hours of the week most likely to find the performer online, most likely first:
    // (day, hour) pairs, at most count, none with a share of 0.
    std::vector<std::pair<int, int>> GetLikeliest(size_t count) const;

private:
    // Adds [from, to) to the cells, hour by local hour, with what add does to a cell in a week.
    template <typename Add>
    void Spread(std::int64_t from, std::int64_t to, Add add);

    std::int64_t m_now;
    std::int64_t m_start;
    int m_weeks;
    std::vector<Cell> m_cells;
    // For each cell, a bit for each week that watched it and each week that found them online.
    std::vector<std::uint32_t> m_watchedWeeks;
    std::vector<std::uint32_t> m_onlineWeeks;
};
