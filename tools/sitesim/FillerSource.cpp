#include "sitesim/FillerSource.h"

#include "sitesim/PerformerScript.h"

namespace sitesim
{

FillerSource::FillerSource(Style style, unsigned seed)
    : m_style(style)
    , m_random(seed)
{
}

std::string FillerSource::Next(size_t max)
{
    while ( m_pending.size() < max )
        Refill();
    std::string piece = m_pending.substr(0, max);
    m_pending.erase(0, max);
    return piece;
}

void FillerSource::Refill()
{
    const uint64_t index = m_index++;
    switch ( m_style )
    {
        case LIST_BLOCKS:
            if ( index == 0 )
                m_pending += PerformerScript::Header(0);
            PerformerScript::AppendBlock(m_pending, PerformerScript::FillerBlock(index));
            break;
        case LIST_LINE:
            if ( index == 0 )
                m_pending += "var p; ";
            m_pending += "online_performers.add(" + PerformerScript::FillerBlock(index).name + "); ";
            break;
        case NAME_LINES:
            m_pending += PerformerScript::FillerBlock(index).name + "\n";
            break;
        case HTML:
            if ( index == 0 )
                m_pending += "<html><head><title>Lumora</title></head><body>\n";
            m_pending += "<p class=\"row\">" + PerformerScript::FillerBlock(index).name +
                         " is online now. Come and say hello!</p>\n";
            break;
        case BYTES:
            for ( int i = 0; i < 1024; ++i )
                m_pending += static_cast<char>(m_random() & 0xFF);
            break;
    }
}

}
