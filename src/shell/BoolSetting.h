#pragma once

#include <wx/string.h>

class wxConfigBase;

// A yes-or-no setting from the configuration, read as people write it by hand: "true", "yes",
// "on" and "1" say yes, "false", "no", "off" and "0" say no, in any case. Anything else means
// the default, so that a slip never turns a setting the other way.
class BoolSetting
{
public:
    BoolSetting() = delete;

    // The value at key, or defaultValue when it is missing or not taken; a value not taken is
    // traced with its key.
    static bool Read(const wxConfigBase& config, const wxString& key, bool defaultValue);
};
