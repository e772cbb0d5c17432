#pragma once

#include "sitesim/PerformerScript.h"
#include "sitesim/Performer.h"

#include <deque>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace sitesim
{

// Who is online and how: a seeded model that changes a little at every step, as a busy site
// does between two polls. Not thread-safe: its owner locks.
class PerformerModel
{
public:
    // count performers online at the start, around which the population then floats; regulars
    // (names users keep as favourites) come and go like everybody else.
    PerformerModel(int count, unsigned seed, const std::vector<std::string>& regulars);

    void SetPerformers(const std::vector<Performer>& performers);
    std::vector<Performer> GetPerformers() const;

    // One step: with churn c, about c × (number online) performers go offline, come online or
    // change between free, busy public and busy private; at least one when c > 0.
    void Advance(double churn);

    const std::vector<ScriptBlock>& GetBlocks() const { return m_blocks; }
    unsigned GetGeneration() const { return m_generation; }

    // The status words the script can express; anything else is rounded to the nearest one.
    static int NormalStatus(int status);

private:
    int RandomInt(int low, int high);
    bool Chance(double probability);
    int RandomStatus();
    int OtherStatus(int status);
    int RandomViewers(int status);
    ScriptBlock MakeBlock(const std::string& name, int status);
    std::string NewName();
    void GoOffline(size_t index);
    void ComeOnline();
    void ChangeStatus(size_t index);

    std::vector<ScriptBlock> m_blocks;
    std::unordered_set<std::string> m_online;
    std::deque<std::string> m_away; // names seen before, who may come back
    std::unordered_set<std::string> m_known;
    std::mt19937 m_random;
    int m_target;
    unsigned m_generation = 0;
};

}
