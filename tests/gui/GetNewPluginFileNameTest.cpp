#include "DialogRecorder.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "sitesim/SimulatedSite.h"
#include "update/GetNewPluginFileName.h"
#include "update/PluginUpdater.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/ffile.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/testing.h>
#include <wx/translation.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{
const char* const UPDATE_PATH = "/cgi-bin/app/update.cgi";

// Answers the consent question and keeps what it asked.
struct Consent
{
    wxString message;
    wxString caption;
    long style = 0;
    int asked = 0;
};

class AnswerConsent : public wxExpectModalBase<wxMessageDialog, AnswerConsent>
{
public:
    AnswerConsent(int answer, Consent& consent)
        : m_answer(answer)
        , m_consent(&consent)
    {
    }

protected:
    int OnInvoked(wxMessageDialog* dialog) const override
    {
        m_consent->message = dialog->GetMessage();
        m_consent->caption = dialog->GetTitle();
        m_consent->style = dialog->GetMessageDialogStyle();
        ++m_consent->asked;
        return m_answer;
    }

private:
    int m_answer;
    Consent* m_consent;
};

std::string Contents(const wxString& path)
{
    wxFFile file(path, "rb");
    if ( !file.IsOpened() )
        return "(missing)";
    std::string text(static_cast<size_t>(file.Length()), '\0');
    file.Read(&text[0], text.size());
    return text;
}

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

        m_options.updateFile = Offer("plugin").ToStdString();
        m_options.updateSkinFile = Offer("skin").ToStdString();
        m_options.updateMoFile = Offer("mo").ToStdString();
        m_options.updateManifestFile = Offer("manifest").ToStdString();
        m_site.reset(new sitesim::SimulatedSite(m_options));
        ASSERT_TRUE(m_site->Start(0));
        Config().Write("/Site/mainhost", wxString(m_site->GetHostPort()));

        m_savedArguments = wxTheApp->argv.GetArguments();
        SetProgram(m_dir + "/Parlo");
    }

    void TearDown() override
    {
        std::vector<std::string> texts;
        for ( const wxString& argument : m_savedArguments )
            texts.push_back(argument.ToStdString());
        std::vector<char*> pointers;
        for ( std::string& text : texts )
            pointers.push_back(&text[0]);
        pointers.push_back(nullptr);
        wxTheApp->argv.Init(static_cast<int>(texts.size()), pointers.data());
        m_site.reset();
        TestSupport::RemoveDir(m_dir);
        ConfiguredTest::TearDown();
    }

    static void SetProgram(const wxString& path)
    {
        std::string text = path.ToStdString();
        char* arguments[] = { &text[0], nullptr };
        wxTheApp->argv.Init(1, arguments);
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

    // Calls the export with no dialog allowed: any that shows up is recorded and dismissed.
    wxFileName* CallWithoutDialog(size_t& dialogs)
    {
        DialogRecorder recorder(wxID_YES);
        wxFileName* result = GetNewPluginFileName();
        dialogs = recorder.shown.size();
        return result;
    }

    wxString m_dir;
    sitesim::SimulatedSite::Options m_options;
    std::unique_ptr<sitesim::SimulatedSite> m_site;
    wxArrayString m_savedArguments;
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
    Consent consent;
    wxFileName* result = nullptr;
    wxTEST_DIALOG(result = GetNewPluginFileName(), AnswerConsent(wxID_YES, consent));

    ASSERT_NE(nullptr, result);
    EXPECT_EQ(NewPlugin(), result->GetFullPath());
    EXPECT_EQ(std::string(5000, 'P'), Contents(NewPlugin()));
    EXPECT_EQ("new skin", Contents(Skin() + ".new"));
    EXPECT_EQ("new catalogue", Contents(Catalog() + ".new"));
    EXPECT_EQ("new manifest", Contents(Manifest() + ".new"));
    // The companions in use stay until the next call.
    EXPECT_EQ("old skin", Contents(Skin()));
    EXPECT_EQ((std::vector<std::string>{ "", "skin", "mo", "manifest" }), UpdateRequests());
    EXPECT_EQ("1.3.0", m_site->GetRequests().at(0).params.at("version"));

    EXPECT_EQ(1, consent.asked);
    EXPECT_EQ("The new plugin will be installed.", consent.message);
    EXPECT_EQ("Confirm", consent.caption);
    EXPECT_EQ(wxYES_NO | wxCENTRE | wxICON_INFORMATION,
              consent.style & (wxYES_NO | wxCENTRE | wxICON_INFORMATION | wxICON_MASK));

    // Asked again: the same object, the same name; the waiting companions are now in place.
    wxFileName* again = nullptr;
    wxTEST_DIALOG(again = GetNewPluginFileName(), AnswerConsent(wxID_YES, consent));
    EXPECT_EQ(result, again);
    EXPECT_EQ(NewPlugin(), again->GetFullPath());
    EXPECT_EQ("new skin", Contents(Skin()));
    EXPECT_EQ("new catalogue", Contents(Catalog()));
    EXPECT_EQ("new manifest", Contents(Manifest()));
}

TEST_F(GetNewPluginFileNameTest, NoRemovesTheDownloadAndFetchesNothingMore)
{
    Consent consent;
    wxFileName* result = nullptr;
    wxTEST_DIALOG(result = GetNewPluginFileName(), AnswerConsent(wxID_NO, consent));

    EXPECT_EQ(nullptr, result);
    EXPECT_EQ(1, consent.asked);
    EXPECT_FALSE(wxFileName::Exists(NewPlugin()));
    EXPECT_EQ(std::vector<std::string>{ "" }, UpdateRequests());
    EXPECT_FALSE(wxFileName::Exists(Skin() + ".new"));
    EXPECT_EQ("old skin", Contents(Skin()));
}

TEST_F(GetNewPluginFileNameTest, FailedSkinDownloadStillGivesTheName)
{
    // The script cannot read the skin: it answers with an error page.
    m_site.reset();
    m_options.updateSkinFile = (m_dir + "/offer/missing").ToStdString();
    m_site.reset(new sitesim::SimulatedSite(m_options));
    ASSERT_TRUE(m_site->Start(0));
    Config().Write("/Site/mainhost", wxString(m_site->GetHostPort()));

    Consent consent;
    wxFileName* result = nullptr;
    wxTEST_DIALOG(result = GetNewPluginFileName(), AnswerConsent(wxID_YES, consent));

    ASSERT_NE(nullptr, result);
    EXPECT_EQ(NewPlugin(), result->GetFullPath());
    EXPECT_FALSE(wxFileName::Exists(Skin() + ".new"));
    EXPECT_EQ("old skin", Contents(Skin()));
    EXPECT_EQ("new catalogue", Contents(Catalog() + ".new"));
    EXPECT_EQ("new manifest", Contents(Manifest() + ".new"));
    EXPECT_EQ((std::vector<std::string>{ "", "skin", "mo", "manifest" }), UpdateRequests());
}

TEST_F(GetNewPluginFileNameTest, NoUpdateAsksNothingButInstallsWaitingCompanions)
{
    // The script's "no update" page, with companions waiting from last time.
    m_site->SetCurrentVersion("1.3.0");
    Write(Skin() + ".new", "waiting skin");
    Write(Manifest() + ".new", "waiting manifest");
    size_t dialogs = 0;
    EXPECT_EQ(nullptr, CallWithoutDialog(dialogs));
    EXPECT_EQ(0u, dialogs);
    EXPECT_FALSE(wxFileName::Exists(NewPlugin()));
    EXPECT_EQ("waiting skin", Contents(Skin()));
    EXPECT_FALSE(wxFileName::Exists(Skin() + ".new"));
    EXPECT_EQ("old catalogue", Contents(Catalog()));
    EXPECT_EQ("waiting manifest", Contents(Manifest()));
    EXPECT_EQ(std::vector<std::string>{ "" }, UpdateRequests());

    // With the site unreachable the waiting skin still goes in: the move comes first.
    Write(Skin() + ".new", "second skin");
    Config().Write("/Site/mainhost", wxString::Format("127.0.0.1:%d", sitesim::SimulatedSite::UnusedPort()));
    EXPECT_EQ(nullptr, CallWithoutDialog(dialogs));
    EXPECT_EQ(0u, dialogs);
    EXPECT_EQ("second skin", Contents(Skin()));
}

TEST_F(GetNewPluginFileNameTest, IncompletePluginAsksNothing)
{
    size_t dialogs = 0;
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::WrongLength(), 1);
    EXPECT_EQ(nullptr, CallWithoutDialog(dialogs));
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::Truncate(1000), 1);
    EXPECT_EQ(nullptr, CallWithoutDialog(dialogs));
    m_site->SetFault(UPDATE_PATH, sitesim::Fault::WrongType("text/html"), 1);
    EXPECT_EQ(nullptr, CallWithoutDialog(dialogs));
    EXPECT_EQ(0u, dialogs);
    EXPECT_FALSE(wxFileName::Exists(NewPlugin()));
    EXPECT_EQ((std::vector<std::string>{ "", "", "" }), UpdateRequests());
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

    Consent consent;
    wxTEST_DIALOG(GetNewPluginFileName(), AnswerConsent(wxID_NO, consent));
    EXPECT_EQ(wxString::FromUTF8("新しいプラグインをインストールします。"), consent.message);
    EXPECT_EQ(wxString::FromUTF8("確認"), consent.caption);
}
