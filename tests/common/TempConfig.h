#pragma once

#include <gtest/gtest.h>

#include <wx/string.h>

class wxFileConfig;

// Installs a throwaway configuration file as the toolkit's global configuration for one test,
// and restores the previous one afterwards.
class TempConfig
{
public:
    TempConfig();
    ~TempConfig();

    TempConfig(const TempConfig&) = delete;
    TempConfig& operator=(const TempConfig&) = delete;

    wxFileConfig& Get() { return *m_config; }
    const wxString& GetPath() const { return m_path; }
    const wxString& GetDir() const { return m_dir; }

private:
    wxString m_dir;
    wxString m_path;
    wxFileConfig* m_config = nullptr;
    class wxConfigBase* m_previous = nullptr;
};

// The fixture most tests use: every test starts with an empty configuration of its own.
class ConfiguredTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    wxFileConfig& Config() { return m_config->Get(); }
    const wxString& TempDir() const { return m_config->GetDir(); }

private:
    TempConfig* m_config = nullptr;
};
