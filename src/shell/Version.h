#pragma once

#include <wx/string.h>

// A version text such as "1.3.0" with its three numbers; only the text is used elsewhere.
class Version
{
public:
    explicit Version(const wxString& text);

    wxString GetString() const { return m_text; }
    int GetMajor() const { return m_major; }
    int GetMinor() const { return m_minor; }
    int GetRelease() const { return m_release; }

    // The plug-in's own version.
    static const Version& GetCurrent();

private:
    wxString m_text;
    int m_major = 0;
    int m_minor = 0;
    int m_release = 0;
};
