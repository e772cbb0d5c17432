#include "ExpectDialog.h"
#include "common/ScopedProgramName.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "sitesim/SimulatedSite.h"
#include "update/GetNewPluginFileName.h"
#include "update/PluginUpdater.h"

#include <gtest/gtest.h>

#include <wx/fileconf.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/translation.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

using TestSupport::FileContents;

namespace
{
const char* const UPDATE_PATH = "/cgi-bin/app/update.cgi";

void Write(const wxString& path, const std::string& text)
{
    std::ofstream(path.ToStdString(), std::ios::binary) << text;
}

// The host program is "<temp>/Parlo" for the plug-in: its companion files live in a throwaway
// folder, and the update script of a simulated site offers a new set.
class GetNewPluginFileNameTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        m_dir = TestSupport::MakeTempDir();
        ASSERT_TRUE(wxFileName::Mkdir(m_dir + "/ja/LC_MESSAGES", 0700, wxPATH_MKDIR_FULL));
        ASSERT_TRUE(wxFileName::Mkdir(m_dir + "/offer", 0700));
        Write(Offer("plugin"), std::string(5000, 'P'));
        Write(Offer("skin"), "new skin");
        Write(Offer("mo"), "new catalogue");
        Write(Offer("manifest"), "new manifest");
        Write(Skin(), "old skin");
        Write(Catalog(), "old catalogue");
        Write(Manifest(), "old manifest");
        // A development build: it trusts the simulated site's test key.
        ASSERT_TRUE(wxCopyFile(TestSupport::BuildDir() + "/Parlo.trust-test-key", m_dir + "/Parlo.trust-test-key"));

        m_options.updateFile = Offer("plugin").ToStdString();
        m_options.updateSkinFile = Offer("skin").ToStdString();
        m_options.updateMoFile = Offer("mo").ToStdString();
        m_options.updateManifestFile = Offer("manifest").ToStdString();
        m_site.reset(new sitesim::SimulatedSite(m_options));
        ASSERT_TRUE(m_site->Start(0));
        Config().Write("/Site/mainhost", wxString(m_site->GetHostPort()));

        m_program.reset(new ScopedProgramName(m_dir + "/Parlo"));
    }

    void TearDown() override
    {
        m_program.reset();
        m_site.reset();
        TestSupport::RemoveDir(m_dir);
        ConfiguredTest::TearDown();
    }

    wxString Offer(const wxString& name) const { return m_dir + "/offer/" + name; }
    wxString Skin() const { return m_dir + "/Parlo.skin"; }
    wxString Catalog() const { return m_dir + "/ja/LC_MESSAGES/Parlo.mo"; }
    wxString Manifest() const { return m_dir + "/Parlo.manifest"; }
    wxString NewPlugin() const { return m_dir + "/Parlo.so.new"; }

    // The "type" of each request to the update script, in order ("" for the plain one).
    std::vector<std::string> UpdateRequests() const
    {
        std::vector<std::string> types;
        for ( const sitesim::Request& request : m_site->GetRequests() )
        {
            if ( request.path != UPDATE_PATH )
                continue;
            const auto type = request.params.find("type");
            types.push_back(type == request.params.end() ? std::string() : type->second);
        }
        return types;
    }

    // Calls the export with no dialog allowed: any that shows up fails the test.
    static wxFileName* CallWithoutDialog()
    {
        NoDialogExpected none;
        return GetNewPluginFileName();
    }

    wxString m_dir;
    sitesim::SimulatedSite::Options m_options;
    std::unique_ptr<sitesim::SimulatedSite> m_site;
    std::unique_ptr<ScopedProgramName> m_program;
};
}

TEST_F(GetNewPluginFileNameTest, CompanionNamesFollowTheProgram)
{
    const PluginUpdater updater = PluginUpdater::ForCurrentPlugin();
    EXPECT_EQ(Skin(), updater.GetSkinPath());
    EXPECT_EQ(Catalog(), updater.GetCatalogPath());
    EXPECT_EQ(Manifest(), updater.GetManifestPath());
    EXPECT_EQ(NewPlugin(), updater.GetNewPluginPath());
    EXPECT_EQ("http://" + wxString(m_site->GetHostPort()) + UPDATE_PATH + "?version=1.3.0",
              updater.GetUpdateUrl());
}

TEST_F(GetNewPluginFileNameTest, YesFetchesTheWholeSet)
{
    SeenBox consent;
    wxFileName* result = nullptr;
    wxTEST_DIALOG(result = GetNewPluginFileName(), AnswerBox(wxID_YES, consent));

    ASSERT_NE(nullptr, result);
    EXPECT_EQ(NewPlugin(), result->GetFullPath());
    EXPECT_EQ(std::string(5000, 'P'), FileContents(NewPlugin()));
    EXPECT_EQ("new skin", FileContents(Skin() + ".new"));
    EXPECT_EQ("new catalogue", FileContents(Catalog() + ".new"));
    EXPECT_EQ("new manifest", FileContents(Manifest() + ".new"));
    // The companions in use stay until the next call.
    EXPECT_EQ("old skin", FileContents(Skin()));
    EXPECT_EQ((std::vector<std::string>{ "", "statement", "skin", "mo", "manifest" }), UpdateRequests());
    EXPECT_EQ("1.3.0", m_site->GetRequests().at(0).params.at("version"));

    EXPECT_EQ(1, consent.shown);
    EXPECT_EQ("The new plugin will be installed.", consent.message);
    EXPECT_EQ("Confirm", consent.caption);
    EXPECT_EQ(wxYES_NO | wxCENTRE | wxICON_INFORMATION,
              consent.style & (wxYES_NO | wxCENTRE | wxICON_INFORMATION | wxICON_MASK));

    // Asked again: the same object, the same name; the waiting companions are now in place.
    wxFileName* again = nullptr;
    wxTEST_DIALOG(again = GetNewPluginFileName(), AnswerBox(wxID_YES, consent));
    EXPECT_EQ(result, again);
    EXPECT_EQ(NewPlugin(), again->GetFullPath());
    EXPECT_EQ("new skin", FileContents(Skin()));
    EXPECT_EQ("new catalogue", FileContents(Catalog()));
    EXPECT_EQ("new manifest", FileContents(Manifest()));
}

TEST_F(GetNewPluginFileNameTest, NoRemovesTheDownloadAndFetchesNothingMore)
{
    SeenBox consent;
    wxFileName* result = nullptr;
    wxTEST_DIALOG(result = GetNewPluginFileName(), AnswerBox(wxID_NO, consent));

    EXPECT_EQ(nullptr, result);
    EXPECT_EQ(1, consent.shown);
    EXPECT_FALSE(wxFileName::Exists(NewPlugin()));
    EXPECT_EQ((std::vector<std::string>{ "", "statement" }), UpdateRequests());
    EXPECT_FALSE(wxFileName::Exists(Skin() + ".new"));
    EXPECT_EQ("old skin", FileContents(Skin()));
}

TEST_F(GetNewPluginFileNameTest, FailedSkinDownloadStillGivesTheName)
{
    // The script cannot read the skin: it answers with an error page.
    m_site.reset();
    m_options.updateSkinFile = (m_dir + "/offer/missing").ToStdString();
    m_site.reset(new sitesim::SimulatedSite(m_options));
    ASSERT_TRUE(m_site->Start(0));
    Config().Write("/Site/mainhost", wxString(m_site->GetHostPort()));

    SeenBox consent;
    wxFileName* result = nullptr;
    wxTEST_DIALOG(result = GetNewPluginFileName(), AnswerBox(wxID_YES, consent));

    ASSERT_NE(nullptr, result);
    EXPECT_EQ(NewPlugin(), result->GetFullPath());
    EXPECT_FALSE(wxFileName::Exists(Skin() + ".new"));
    EXPECT_EQ("old skin", FileContents(Skin()));
    EXPECT_EQ("new catalogue", FileContents(Catalog() + ".new"));
    EXPECT_EQ("new manifest", FileContents(Manifest() + ".new"));
    EXPECT_EQ((std::vector<std::string>{ "", "statement", "skin", "mo", "manifest" }), UpdateRequests());
}

// Nothing the publisher did not sign reaches the user's question, let alone the program's folder:
// an update without its statement, one signed with another key, one no newer than this program,
// a plug-in changed after it was signed. A companion changed after it was signed is dropped, and
// the rest of the update is taken.
TEST_F(GetNewPluginFileNameTest, TakesOnlyWhatThePublisherSigned)
{
    const auto offer = [this](void (*change)(sitesim::SimulatedSite::Options&)) {
        m_site.reset();
        sitesim::SimulatedSite::Options options = m_options;
        change(options);
        m_site.reset(new sitesim::SimulatedSite(options));
        EXPECT_TRUE(m_site->Start(0));
        Config().Write("/Site/mainhost", wxString(m_site->GetHostPort()));
    };
    const auto nothingLeft = [this](const char* what) {
        for ( const wxString& path : { NewPlugin(), NewPlugin() + ".statement", Skin() + ".new",
                                       Skin() + ".unchecked", Catalog() + ".new", Manifest() + ".new" } )
            EXPECT_FALSE(wxFileName::Exists(path)) << what << ": " << path;
    };

    offer([](sitesim::SimulatedSite::Options& options) { options.updateStatement = false; });
    EXPECT_EQ(nullptr, CallWithoutDialog());
    nothingLeft("no statement");
    offer([](sitesim::SimulatedSite::Options& options) { options.updateSigningSeed = std::string(64, '7'); });
    EXPECT_EQ(nullptr, CallWithoutDialog());
    nothingLeft("another key");
    offer([](sitesim::SimulatedSite::Options& options) { options.updateVersion = "1.3.0"; });
    EXPECT_EQ(nullptr, CallWithoutDialog());
    nothingLeft("no newer");
    offer([](sitesim::SimulatedSite::Options&) {});
    Write(Offer("plugin"), std::string(5000, 'P') + std::string(64 * 1024, '\xcc'));
    EXPECT_EQ(nullptr, CallWithoutDialog());
    nothingLeft("bytes appended");
    EXPECT_EQ(std::string(5000, 'P') + std::string(64 * 1024, '\xcc'), FileContents(Offer("plugin")));

    Write(Offer("plugin"), std::string(5000, 'P'));
    offer([](sitesim::SimulatedSite::Options&) {});
    Write(Offer("skin"), "a skin of someone else's");
    SeenBox consent;
    wxFileName* result = nullptr;
    wxTEST_DIALOG(result = GetNewPluginFileName(), AnswerBox(wxID_YES, consent));
    ASSERT_NE(nullptr, result);
    EXPECT_EQ(std::string(5000, 'P'), FileContents(NewPlugin()));
    EXPECT_FALSE(wxFileName::Exists(Skin() + ".new"));
    EXPECT_FALSE(wxFileName::Exists(Skin() + ".unchecked"));
    EXPECT_EQ("new catalogue", FileContents(Catalog() + ".new"));
    EXPECT_EQ("new manifest", FileContents(Manifest() + ".new"));
    // At the next call the checked companions take their places; the skin in use stays.
    wxTEST_DIALOG(GetNewPluginFileName(), AnswerBox(wxID_NO, consent));
    EXPECT_EQ("old skin", FileContents(Skin()));
    EXPECT_EQ("new catalogue", FileContents(Catalog()));
}

TEST_F(GetNewPluginFileNameTest, NoUpdateAsksNothingButInstallsWaitingCompanions)
{
    // The script's "no update" page, with companions waiting from last time.
    m_site->SetCurrentVersion("1.3.0");
    Write(Skin() + ".new", "waiting skin");
    Write(Manifest() + ".new", "waiting manifest");
    EXPECT_EQ(nullptr, CallWithoutDialog());
    EXPECT_FALSE(wxFileName::Exists(NewPlugin()));
    EXPECT_EQ("waiting skin", FileContents(Skin()));
    EXPECT_FALSE(wxFileName::Exists(Skin() + ".new"));
    EXPECT_EQ("old catalogue", FileContents(Catalog()));
    EXPECT_EQ("waiting manifest", FileContents(Manifest()));
    EXPECT_EQ(std::vector<std::string>{ "" }, UpdateRequests());

    // With the site unreachable the waiting skin still goes in: the move comes first.
    Write(Skin() + ".new", "second skin");
    Config().Write("/Site/mainhost", wxString::Format("127.0.0.1:%d", sitesim::SimulatedSite::UnusedPort()));
    EXPECT_EQ(nullptr, CallWithoutDialog());
    EXPECT_EQ("second skin", FileContents(Skin()));
}

TEST_F(GetNewPluginFileNameTest, IncompletePluginAsksNothing)
{
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::WrongLength(), 1);
    EXPECT_EQ(nullptr, CallWithoutDialog());
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::Truncate(1000), 1);
    EXPECT_EQ(nullptr, CallWithoutDialog());
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::WrongType("text/html"), 1);
    EXPECT_EQ(nullptr, CallWithoutDialog());
    EXPECT_FALSE(wxFileName::Exists(NewPlugin()));
    EXPECT_EQ((std::vector<std::string>{ "", "", "" }), UpdateRequests());
}

// As in a system-wide install, which the package manager updates: no question, no request.
TEST_F(GetNewPluginFileNameTest, ProgramFolderThatCannotBeWrittenAsksNothing)
{
    ScopedProgramName elsewhere(m_dir + "/gone/Parlo");
    EXPECT_EQ(nullptr, CallWithoutDialog());
    EXPECT_TRUE(UpdateRequests().empty());
}

TEST_F(GetNewPluginFileNameTest, QuestionInTheUsersLanguage)
{
    wxFileTranslationsLoader::AddCatalogLookupPathPrefix(TestSupport::BuildDir());
    wxLocale locale;
    {
        // The C locale of the language need not be installed for its translations.
        wxLogNull quiet;
        locale.Init(wxLANGUAGE_JAPANESE, wxLOCALE_DONT_LOAD_DEFAULT);
    }
    ASSERT_TRUE(locale.AddCatalog("Parlo"));

    SeenBox consent;
    wxTEST_DIALOG(GetNewPluginFileName(), AnswerBox(wxID_NO, consent));
    EXPECT_EQ(wxString::FromUTF8("新しいプラグインをインストールします。"), consent.message);
    EXPECT_EQ(wxString::FromUTF8("確認"), consent.caption);
}
