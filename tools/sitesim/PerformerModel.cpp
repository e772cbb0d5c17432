#include "sitesim/PerformerModel.h"

#include "sitesim/UrlText.h"

#include <algorithm>
#include <cmath>

namespace sitesim
{

namespace
{
const size_t MAX_AWAY = 5000;

const char* const FIRST_NAMES[] = {
    "Alina", "Vika", "Lola", "Nika", "Sasha", "Mila", "Katya", "Dasha", "Yuna", "Emma",
    "Sofia", "Irina", "Lena", "Anya", "Olesya", "Kira", "Maya", "Lia", "Zoe", "Chloe",
    "Bella", "Luna", "Nora", "Eva", "Tina", "Rina", "Hana", "Mei", "Aiko", "Sakura",
    "Julia", "Carla", "Paula", "Ines", "Marta", "Lucia", "Vera", "Daria", "Polina", "Ksenia",
    "Amber", "Ruby", "Jade", "Scarlett", "Ivy", "Stella", "Nina", "Rose", "Lily", "Gina"};
const char* const PREFIXES[] = {"Sweet", "Miss", "Lady", "Sunny", "Little", "Wild", "Shy",
                                "Cute", "Lovely", "Dream", "Angel", "Honey"};
const char* const SUFFIXES[] = {"Kiss", "Star", "Doll", "Fox", "Cat", "Bunny", "Sun",
                                "Moon", "Pearl", "Rose", "Sky", "Bee"};

template <size_t N>
const char* Pick(const char* const (&words)[N], unsigned value)
{
    return words[value % N];
}
}

PerformerModel::PerformerModel(int count, unsigned seed, const std::vector<std::string>& regulars)
    : m_random(seed)
    , m_target(std::max(count, 0))
{
    for ( const std::string& name : regulars )
    {
        if ( !UrlText::IsPerformerName(name) || m_known.count(name) )
            continue;
        m_known.insert(name);
        // Half of the regulars are on when the site starts, so a demo shows some at once.
        if ( Chance(0.5) )
        {
            m_blocks.push_back(MakeBlock(name, RandomStatus()));
            m_online.insert(name);
        }
        else
        {
            m_away.push_back(name);
        }
    }
    while ( static_cast<int>(m_blocks.size()) < m_target )
    {
        const std::string name = NewName();
        m_blocks.push_back(MakeBlock(name, RandomStatus()));
        m_online.insert(name);
    }
    std::shuffle(m_blocks.begin(), m_blocks.end(), m_random);
}

int PerformerModel::NormalStatus(int status)
{
    if ( status & 0x10 )
        return Performer::BUSY_PRIVATE;
    if ( status & (0x04 | 0x08) )
        return Performer::BUSY_PUBLIC;
    if ( status & 0x02 )
        return Performer::FREE;
    if ( status & 0x01 )
        return Performer::ONLINE;
    return Performer::OFFLINE;
}

void PerformerModel::SetPerformers(const std::vector<Performer>& performers)
{
    m_blocks.clear();
    m_online.clear();
    for ( const Performer& performer : performers )
    {
        const ScriptBlock block = MakeBlock(performer.name, NormalStatus(performer.status));
        if ( m_online.insert(performer.name).second )
        {
            m_blocks.push_back(block);
        }
        else
        {
            // A name given twice: the later entry wins, as it would for a reader of the list.
            for ( ScriptBlock& existing : m_blocks )
            {
                if ( existing.name == performer.name )
                    existing = block;
            }
        }
        m_known.insert(performer.name);
    }
    m_target = std::max(static_cast<int>(m_blocks.size()), 1);
    ++m_generation;
}

std::vector<Performer> PerformerModel::GetPerformers() const
{
    std::vector<Performer> performers;
    performers.reserve(m_blocks.size());
    for ( const ScriptBlock& block : m_blocks )
        performers.push_back(Performer{block.name, block.status});
    return performers;
}

void PerformerModel::Advance(double churn)
{
    if ( !(churn > 0) )
        return;
    const size_t base = m_blocks.empty() ? static_cast<size_t>(std::max(m_target, 1)) : m_blocks.size();
    const long changes = std::max(1L, std::lround(std::min(churn, 1.0) * static_cast<double>(base)));

    for ( long i = 0; i < changes; ++i )
    {
        const double size = static_cast<double>(m_blocks.size());
        const double target = std::max(m_target, 1);
        // Leaving and arriving balance around the target population.
        double leave = 0.3;
        double arrive = 0.3;
        if ( size < target * 0.9 )
        {
            leave = 0.15;
            arrive = 0.45;
        }
        else if ( size > target * 1.1 )
        {
            leave = 0.45;
            arrive = 0.15;
        }
        const double draw = std::uniform_real_distribution<double>(0.0, 1.0)(m_random);
        if ( m_blocks.empty() || draw < arrive )
            ComeOnline();
        else if ( draw < arrive + leave )
            GoOffline(static_cast<size_t>(RandomInt(0, static_cast<int>(m_blocks.size()) - 1)));
        else
            ChangeStatus(static_cast<size_t>(RandomInt(0, static_cast<int>(m_blocks.size()) - 1)));
    }

    // Audiences drift everywhere, not only where something changed.
    for ( long i = 0; i < changes && !m_blocks.empty(); ++i )
    {
        const int index = RandomInt(0, static_cast<int>(m_blocks.size()) - 1);
        ScriptBlock& block = m_blocks[static_cast<size_t>(index)];
        block.viewers = RandomViewers(block.status);
    }
    ++m_generation;
}

int PerformerModel::RandomInt(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(m_random);
}

bool PerformerModel::Chance(double probability)
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < probability;
}

int PerformerModel::RandomStatus()
{
    const int draw = RandomInt(0, 99);
    if ( draw < 55 )
        return Performer::FREE;
    if ( draw < 80 )
        return Performer::BUSY_PUBLIC;
    return Performer::BUSY_PRIVATE;
}

int PerformerModel::OtherStatus(int status)
{
    if ( status == Performer::FREE )
        return Chance(0.6) ? Performer::BUSY_PUBLIC : Performer::BUSY_PRIVATE;
    if ( status == Performer::BUSY_PUBLIC )
        return Chance(0.7) ? Performer::FREE : Performer::BUSY_PRIVATE;
    if ( status == Performer::BUSY_PRIVATE )
        return Chance(0.8) ? Performer::FREE : Performer::BUSY_PUBLIC;
    return Performer::FREE;
}

int PerformerModel::RandomViewers(int status)
{
    if ( status == Performer::BUSY_PRIVATE )
        return RandomInt(1, 3);
    if ( status == Performer::BUSY_PUBLIC )
        return RandomInt(5, 400);
    return RandomInt(0, 60);
}

ScriptBlock PerformerModel::MakeBlock(const std::string& name, int status)
{
    ScriptBlock block;
    block.name = name;
    block.status = status;
    block.viewers = RandomViewers(status);
    block.room = static_cast<unsigned>(RandomInt(1000, 99999));
    block.variant = static_cast<unsigned>(RandomInt(0, 31));
    return block;
}

std::string PerformerModel::NewName()
{
    for ( int attempt = 0;; ++attempt )
    {
        const unsigned a = static_cast<unsigned>(RandomInt(0, 1 << 20));
        const unsigned b = static_cast<unsigned>(RandomInt(0, 1 << 20));
        std::string name;
        switch ( a % 6 )
        {
            case 0: name = std::string(Pick(FIRST_NAMES, b)) + "_" + std::to_string(b % 90 + 10); break;
            case 1: name = std::string(Pick(PREFIXES, a / 8)) + Pick(FIRST_NAMES, b); break;
            case 2: name = std::string(Pick(FIRST_NAMES, b)) + Pick(SUFFIXES, a / 8); break;
            case 3: name = std::string(Pick(FIRST_NAMES, b)) + std::to_string(1985 + b % 22); break;
            case 4: name = std::string(Pick(PREFIXES, a / 8)) + "_" + Pick(FIRST_NAMES, b); break;
            default: name = std::string(Pick(FIRST_NAMES, b)) + "_" + Pick(SUFFIXES, a / 8); break;
        }
        // Popular names run out; the site then has "Mila_42_7" and the like.
        if ( attempt >= 8 )
            name += "_" + std::to_string(attempt);
        if ( !m_known.count(name) )
        {
            m_known.insert(name);
            return name;
        }
    }
}

void PerformerModel::GoOffline(size_t index)
{
    const std::string name = m_blocks[index].name;
    m_blocks.erase(m_blocks.begin() + static_cast<long>(index));
    m_online.erase(name);
    m_away.push_back(name);
    if ( m_away.size() > MAX_AWAY )
        m_away.pop_front();
}

void PerformerModel::ComeOnline()
{
    std::string name;
    // Some regulars come back; the rest are new faces.
    if ( !m_away.empty() && Chance(0.35) )
    {
        const size_t index = static_cast<size_t>(RandomInt(0, static_cast<int>(m_away.size()) - 1));
        name = m_away[index];
        m_away.erase(m_away.begin() + static_cast<long>(index));
    }
    if ( name.empty() || m_online.count(name) )
        name = NewName();
    m_online.insert(name);
    const size_t position = static_cast<size_t>(RandomInt(0, static_cast<int>(m_blocks.size())));
    m_blocks.insert(m_blocks.begin() + static_cast<long>(position), MakeBlock(name, RandomStatus()));
}

void PerformerModel::ChangeStatus(size_t index)
{
    ScriptBlock& block = m_blocks[index];
    const int status = OtherStatus(block.status);
    block = MakeBlock(block.name, status);
}

}
