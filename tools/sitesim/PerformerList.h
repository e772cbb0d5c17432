#pragma once

#include "sitesim/Answer.h"
#include "sitesim/Performer.h"
#include "sitesim/PerformerModel.h"

#include <mutex>
#include <string>
#include <vector>

namespace sitesim
{

// The performer list: the churning model, or a script set in its place, and the answer made
// from it.
class PerformerList
{
public:
    // mutex is the site's lock, which guards all of its parts.
    PerformerList(int performers, unsigned seed, const std::vector<std::string>& regulars, double churn,
                  std::mutex& mutex);

    void SetPerformers(const std::vector<Performer>& performers);
    void SetChurn(double churn);
    void SetScript(const std::string& body);
    std::vector<Performer> GetPerformers() const;

    Answer ListAnswer();

private:
    std::mutex& m_mutex;
    PerformerModel m_model;
    bool m_modelFresh = true; // the model has not been served since it was made or set
    double m_churn;
    bool m_useScript = false;
    std::string m_script;
};

}
