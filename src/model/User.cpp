#include "model/User.h"

User::User(const wxString& name, int status)
    : m_name(name)
    , m_status(status)
{
}

bool User::operator==(const User& other) const
{
    return m_status == other.m_status && m_name == other.m_name;
}
