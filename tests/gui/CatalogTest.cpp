#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/textfile.h>
#include <wx/translation.h>

#include <memory>
#include <vector>

namespace
{
struct Message
{
    wxString id;
    wxString where;
};

// The built catalogue on its own, without touching the process's translations.
std::unique_ptr<wxTranslations> BuiltCatalog()
{
    wxFileTranslationsLoader::AddCatalogLookupPathPrefix(TestSupport::BuildDir());
    std::unique_ptr<wxTranslations> translations(new wxTranslations);
    translations->SetLanguage("ja");
    if ( !translations->AddCatalog("Parlo") )
        translations.reset();
    return translations;
}

const char* const CATALOG = "ja/LC_MESSAGES/Parlo.mo";

// The text of one quoted line of a .po file, its C escapes undone.
wxString Unquote(const wxString& line)
{
    const size_t first = line.find('"');
    const size_t last = line.rfind('"');
    wxString text;
    if ( first == wxString::npos || last <= first )
        return text;
    for ( size_t i = first + 1; i < last; ++i )
    {
        wxUniChar c = line[i];
        if ( c == '\\' && i + 1 < last )
        {
            c = line[++i];
            if ( c == 'n' )
                c = '\n';
            else if ( c == 't' )
                c = '\t';
        }
        text += c;
    }
    return text;
}

// The texts marked for translation in src/, as the build extracted them into its template.
std::vector<Message> ReadTemplate(const wxString& path)
{
    std::vector<Message> messages;
    wxTextFile file;
    if ( !file.Open(path, wxConvUTF8) )
        return messages;
    Message current;
    wxString references;
    bool inId = false;
    for ( size_t n = 0; n < file.GetLineCount(); ++n )
    {
        const wxString& line = file[n];
        wxString reference;
        if ( line.StartsWith("#: ", &reference) )
            references += (references.empty() ? "" : " ") + reference;
        else if ( line.StartsWith("msgid ") )
        {
            current.id = Unquote(line);
            current.where = references;
            inId = true;
        }
        else if ( line.StartsWith("\"") && inId )
            current.id += Unquote(line);
        else if ( line.StartsWith("msg") )
        {
            // The end of the msgid: msgstr, msgid_plural or the next entry's msgctxt.
            if ( inId && !current.id.empty() )
                messages.push_back(current);
            inId = false;
            references.clear();
        }
    }
    return messages;
}

wxString Shown(const wxString& id)
{
    wxString shown = id;
    shown.Replace("\n", "\\n");
    return "\"" + shown + "\"";
}
}

TEST(Catalog, EveryMarkedTextHasAJapaneseTranslation)
{
    const wxString templatePath = TestSupport::BuildDir() + "/po/Parlo.pot";
    ASSERT_TRUE(wxFileExists(templatePath)) << templatePath << " was not built";
    const std::unique_ptr<wxTranslations> catalog = BuiltCatalog();
    ASSERT_TRUE(catalog) << CATALOG << " was not built";

    for ( const Message& message : ReadTemplate(templatePath) )
    {
        const wxString* translation = catalog->GetTranslatedString(message.id, "Parlo");
        if ( !translation || translation->empty() )
            ADD_FAILURE() << "msgid " << Shown(message.id).utf8_str().data() << " (marked in "
                          << message.where.utf8_str().data()
                          << ") has no Japanese translation: give it a non-empty, non-fuzzy "
                             "entry in po/ja.po";
    }
}

TEST(Catalog, CoversEveryTextOfTheWindowsAndKeepsTheirAccelerators)
{
    const std::unique_ptr<wxTranslations> catalog = BuiltCatalog();
    ASSERT_TRUE(catalog) << CATALOG << " was not built";

    // Also those of windows not written yet: the template only knows what the code marks today.
    for ( const char* id : { "Parlo Tovrik", "&File", "E&xit", "&Tool", "&UpdateFavorite",
                             "&PopupOnlyFavorite", "All", "Favorite", "Online", "Offline", "Loading",
                             "Profile", "Exit the application.", "Authentication", "Account",
                             "Username", "Password", "OK", "Cancel", "Could not login.", "Popup",
                             "New Face", "Error", "Could not get response from server",
                             "Please execute it after a while.", "The new plugin will be installed.",
                             "Confirm" } )
    {
        const wxString* translation = catalog->GetTranslatedString(id, "Parlo");
        if ( !translation || translation->empty() )
        {
            ADD_FAILURE() << "msgid " << Shown(id).utf8_str().data() << " has no Japanese translation";
            continue;
        }
        // A menu label keeps exactly one accelerator key.
        const bool accelerated = wxString(id).Contains("&");
        EXPECT_EQ(accelerated ? 1u : 0u, translation->Freq('&')) << id;
        if ( accelerated )
        {
            EXPECT_FALSE(translation->EndsWith("&")) << id;
        }
    }
}

TEST(Catalog, JapaneseLocaleTranslatesKnownTextsAndPassesOthersThrough)
{
    // As the host sets it up: the catalogue named like the program, in the program's folder.
    // The machine need not have a Japanese C locale; the translations must load regardless.
    wxFileTranslationsLoader::AddCatalogLookupPathPrefix(TestSupport::BuildDir());
    const wxString unknown = "A text nobody translated";
    {
        wxLocale locale;
        {
            wxLogNull quiet;
            locale.Init(wxLANGUAGE_JAPANESE);
        }
        ASSERT_TRUE(locale.AddCatalog("Parlo"));
        EXPECT_EQ(wxString::FromUTF8("オンライン"), wxGetTranslation("Online"));
        EXPECT_EQ(wxString::FromUTF8("終了(&X)"), wxGetTranslation("E&xit"));
        EXPECT_EQ(unknown, wxGetTranslation(unknown));
    }
    EXPECT_EQ("Online", wxGetTranslation("Online"));
}
