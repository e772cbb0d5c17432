#pragma once

#include "sitesim/Answer.h"
#include "sitesim/Request.h"
#include "sitesim/SimulatedSite.h"

#include <mutex>
#include <string>

namespace sitesim
{

// The update offer: the new plug-in and its companions, offered to every version but the
// current one, and the signed statement that vouches for them.
class UpdateOffer
{
public:
    // mutex is the site's lock, which guards all of its parts.
    UpdateOffer(const SimulatedSite::Options& options, std::mutex& mutex);

    // Signs the statement for the files as they are now, when the update comes with one.
    void SignStatement();
    void SetCurrentVersion(const std::string& version);

    Answer UpdateAnswer(const Request& request);
    // The Content-Type the update answer has when nothing spoils it.
    std::string NormalType(const Request& request);

private:
    std::string UpdateFileLocked(const Request& request) const;
    std::string StatementLocked(const Request& request) const;
    bool OfferedLocked(const Request& request) const;

    std::mutex& m_mutex;
    const std::string m_updateFile, m_updateSkinFile, m_updateMoFile, m_updateManifestFile;
    std::string m_currentVersion;
    const bool m_updateStatement;
    const std::string m_updateVersion;
    const std::string m_updateSigningSeed;
    std::string m_statement;
};

}
