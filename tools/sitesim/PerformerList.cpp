#include "sitesim/PerformerList.h"

#include "sitesim/PerformerScript.h"

namespace sitesim
{

PerformerList::PerformerList(int performers, unsigned seed, const std::vector<std::string>& regulars,
                             double churn, std::mutex& mutex)
    : m_mutex(mutex)
    , m_model(performers, seed, regulars)
    , m_churn(churn)
{
}

void PerformerList::SetPerformers(const std::vector<Performer>& performers)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_model.SetPerformers(performers);
    m_modelFresh = true;
}

void PerformerList::SetChurn(double churn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_churn = churn;
}

void PerformerList::SetScript(const std::string& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_script = body;
    m_useScript = !body.empty();
}

std::vector<Performer> PerformerList::GetPerformers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_model.GetPerformers();
}

Answer PerformerList::ListAnswer()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if ( m_useScript )
        return {200, Answer::LIST_TYPE, m_script};
    // The first answer after the model was made or set shows it unchanged; every later one
    // is a step further.
    if ( !m_modelFresh )
        m_model.Advance(m_churn);
    m_modelFresh = false;
    return {200, Answer::LIST_TYPE, PerformerScript::Render(m_model.GetBlocks(), m_model.GetGeneration())};
}

}
