#include "common/TestSupport.h"
#include "net/DownloadToFile.h"
#include "sitesim/SimulatedSite.h"

#include <gtest/gtest.h>

#include <wx/dir.h>
#include <wx/filename.h>

#include <fstream>
#include <memory>
#include <string>

namespace
{
const char* const UPDATE_PATH = "/cgi-bin/app/update.cgi";

// A simulated site that offers a file of 100 known bytes as its update, and a folder to store to.
class DownloadToFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = TestSupport::MakeTempDir();
        for ( int i = 0; i < 100; ++i )
            m_offer += static_cast<char>(i * 7 + 1);
        sitesim::SimulatedSite::Options options;
        options.updateFile = (m_dir + "/offer.bin").ToStdString();
        options.currentVersion = "1.3.0";
        std::ofstream(options.updateFile, std::ios::binary) << m_offer;
        m_site.reset(new sitesim::SimulatedSite(options));
        ASSERT_TRUE(m_site->Start(0));
    }
    void TearDown() override
    {
        m_site.reset();
        TestSupport::RemoveDir(m_dir);
    }

    wxString Url(const wxString& version = "1.0.0") const
    {
        return "http://" + wxString(m_site->GetHostPort()) + UPDATE_PATH + "?version=" + version;
    }
    wxString Target() const { return m_dir + "/Parlo.so.new"; }

    wxString m_dir;
    std::string m_offer;
    std::unique_ptr<sitesim::SimulatedSite> m_site;
};
}

TEST_F(DownloadToFileTest, MatchingBodyLeavesTheFile)
{
    EXPECT_TRUE(DownloadToFile(Url(), Target()));
    EXPECT_TRUE(m_offer == TestSupport::FileContents(Target()));

    // A file already there is replaced.
    std::ofstream(Target().ToStdString(), std::ios::binary) << std::string(5000, 'x');
    EXPECT_TRUE(DownloadToFile(Url(), Target()));
    EXPECT_TRUE(m_offer == TestSupport::FileContents(Target()));
}

TEST_F(DownloadToFileTest, OnlyAnExactOctetStreamIsStored)
{
    // The script's "no update" page.
    EXPECT_FALSE(DownloadToFile(Url("1.3.0"), Target()));
    EXPECT_FALSE(wxFileName::Exists(Target()));

    for ( const char* type : { "application/octet-stream; charset=binary", "Application/Octet-Stream",
                               "application/octet-streamx", "text/plain" } )
    {
        m_site->SetFault(UPDATE_PATH, sitesim::Fault::WrongType(type), 1);
        EXPECT_FALSE(DownloadToFile(Url(), Target())) << type;
        EXPECT_FALSE(wxFileName::Exists(Target())) << type;
    }
    EXPECT_EQ(5u, m_site->CountRequests(UPDATE_PATH));
}

TEST_F(DownloadToFileTest, BodyOfTheWrongLengthLeavesNoFile)
{
    // "Content-Length" 100, 90 bytes sent.
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::Truncate(90), 1);
    EXPECT_FALSE(DownloadToFile(Url(), Target()));
    EXPECT_FALSE(wxFileName::Exists(Target()));

    // Declared longer than the body.
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::WrongLength(), 1);
    EXPECT_FALSE(DownloadToFile(Url(), Target()));
    EXPECT_FALSE(wxFileName::Exists(Target()));

    // The body goes beside the target until it is complete: a file already there stays as it
    // was, and nothing else is left behind.
    std::ofstream(Target().ToStdString(), std::ios::binary) << "earlier";
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::Truncate(90), 1);
    EXPECT_FALSE(DownloadToFile(Url(), Target()));
    EXPECT_EQ("earlier", TestSupport::FileContents(Target()));
    wxArrayString files;
    wxDir::GetAllFiles(m_dir, &files);
    EXPECT_EQ(2u, files.size()) << "the offer and the earlier file only";
}

TEST_F(DownloadToFileTest, FailuresBeforeTheBody)
{
    // No such folder.
    EXPECT_FALSE(DownloadToFile(Url(), m_dir + "/missing/Parlo.so.new"));
    EXPECT_FALSE(wxFileName::Exists(m_dir + "/missing"));

    // Nobody listening, an HTTP error, a connection closed without an answer.
    const wxString refused = wxString::Format("http://127.0.0.1:%d%s?version=1.0.0",
                                              sitesim::SimulatedSite::UnusedPort(), UPDATE_PATH);
    EXPECT_FALSE(DownloadToFile(refused, Target()));
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::HttpError(500), 1);
    EXPECT_FALSE(DownloadToFile(Url(), Target()));
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::Of(sitesim::Fault::CLOSE), 1);
    EXPECT_FALSE(DownloadToFile(Url(), Target()));
    EXPECT_FALSE(DownloadToFile("not a url", Target()));
    EXPECT_FALSE(wxFileName::Exists(Target()));
}
