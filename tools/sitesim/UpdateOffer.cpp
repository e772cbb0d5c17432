#include "sitesim/UpdateOffer.h"

#include "sitesim/UpdateSigner.h"
#include "sitesim/WholeFile.h"

namespace sitesim
{

UpdateOffer::UpdateOffer(const SimulatedSite::Options& options, std::mutex& mutex)
    : m_mutex(mutex)
    , m_updateFile(options.updateFile)
    , m_updateSkinFile(options.updateSkinFile)
    , m_updateMoFile(options.updateMoFile)
    , m_updateManifestFile(options.updateManifestFile)
    , m_currentVersion(options.currentVersion)
    , m_updateStatement(options.updateStatement)
    , m_updateVersion(options.updateVersion)
    , m_updateSigningSeed(options.updateSigningSeed)
{
}

void UpdateOffer::SignStatement()
{
    if ( m_updateFile.empty() || !m_updateStatement )
        return;
    // Made from the files as they are now: whatever changes them later is a tampering. Files
    // that cannot be read give no statement, as they give no update.
    const std::string seed = m_updateSigningSeed.empty() ? UpdateSigner::TEST_KEY_SEED : m_updateSigningSeed;
    const std::string statement = UpdateSigner::Sign(m_updateVersion, m_updateFile, m_updateSkinFile,
                                                     m_updateMoFile, m_updateManifestFile, seed);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_statement = statement;
}

void UpdateOffer::SetCurrentVersion(const std::string& version)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_currentVersion = version;
}

bool UpdateOffer::OfferedLocked(const Request& request) const
{
    const auto version = request.params.find("version");
    const std::string offeredTo = version == request.params.end() ? std::string() : version->second;
    return m_currentVersion.empty() || offeredTo != m_currentVersion;
}

std::string UpdateOffer::StatementLocked(const Request& request) const
{
    const auto type = request.params.find("type");
    if ( type == request.params.end() || type->second != "statement" || !OfferedLocked(request) )
        return std::string();
    return m_statement;
}

std::string UpdateOffer::UpdateFileLocked(const Request& request) const
{
    if ( !OfferedLocked(request) )
        return std::string();
    const auto type = request.params.find("type");
    if ( type == request.params.end() )
        return m_updateFile;
    if ( type->second == "skin" )
        return m_updateSkinFile;
    if ( type->second == "mo" )
        return m_updateMoFile;
    if ( type->second == "manifest" )
        return m_updateManifestFile;
    return std::string();
}

Answer UpdateOffer::UpdateAnswer(const Request& request)
{
    std::string file;
    std::string statement;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        file = UpdateFileLocked(request);
        statement = StatementLocked(request);
    }
    if ( !statement.empty() )
        return {200, Answer::BINARY_TYPE, statement};
    if ( file.empty() )
        return {200, Answer::HTML_TYPE,
                Answer::Page("Lumora Messenger", "There is no update. You have the latest version.")};
    std::string contents;
    if ( !WholeFile::Read(file, contents) )
        return {500, Answer::HTML_TYPE,
                Answer::Page("500 Internal Server Error", "The update cannot be read.")};
    return {200, Answer::BINARY_TYPE, contents};
}

std::string UpdateOffer::NormalType(const Request& request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return UpdateFileLocked(request).empty() && StatementLocked(request).empty() ? Answer::HTML_TYPE
                                                                                  : Answer::BINARY_TYPE;
}

}
