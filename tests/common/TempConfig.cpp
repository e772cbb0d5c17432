#include "common/TempConfig.h"

#include "common/TestSupport.h"

#include <wx/fileconf.h>

TempConfig::TempConfig()
    : m_dir(TestSupport::MakeTempDir())
    , m_path(m_dir + "/test.conf")
{
    m_config = new wxFileConfig(wxEmptyString, wxEmptyString, m_path, wxEmptyString,
                                wxCONFIG_USE_LOCAL_FILE);
    m_previous = wxConfigBase::Set(m_config);
}

TempConfig::~TempConfig()
{
    wxConfigBase::Set(m_previous);
    delete m_config;
    TestSupport::RemoveDir(m_dir);
}

void ConfiguredTest::SetUp()
{
    m_config = new TempConfig;
}

void ConfiguredTest::TearDown()
{
    delete m_config;
    m_config = nullptr;
}
