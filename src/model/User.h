#pragma once

#include <wx/string.h>

// Status word bits. The words that occur are 0x00, 0x01, 0x03, 0x0D and 0x15.
enum
{
    STATUS_OFFLINE = 0x00,
    STATUS_ONLINE = 0x01,
    STATUS_FREE = 0x02,
    STATUS_BUSY = 0x04,
    STATUS_PUBLIC = 0x08,
    STATUS_PRIVATE = 0x10
};

// One performer: a name, which is its identity, and a status word.
class User
{
public:
    User() = default;
    User(const wxString& name, int status);
    virtual ~User() = default;

    User(const User&) = default;
    User& operator=(const User&) = default;

    bool operator==(const User& other) const;
    bool operator!=(const User& other) const { return !(*this == other); }

    const wxString& GetName() const { return m_name; }
    int GetStatus() const { return m_status; }
    void SetStatus(int status) { m_status = status; }

private:
    wxString m_name;
    int m_status = STATUS_OFFLINE;
};
