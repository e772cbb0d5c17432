#pragma once

#include "model/UserList.h"

#include <initializer_list>

// The five status words a performer can have, by name.
namespace StatusWord
{
const int OFFLINE = STATUS_OFFLINE;
const int ONLINE_ONLY = STATUS_ONLINE;
const int FREE = STATUS_ONLINE | STATUS_FREE;
const int BUSY_PUBLIC = STATUS_ONLINE | STATUS_BUSY | STATUS_PUBLIC;
const int BUSY_PRIVATE = STATUS_ONLINE | STATUS_BUSY | STATUS_PRIVATE;
}

// A list written inline.
inline UserList MakeList(std::initializer_list<User> users)
{
    UserList list;
    for ( const User& user : users )
        list.AddUser(user);
    return list;
}
