#pragma once

#include <wx/string.h>

class wxConfigBase;

// A duration in whole seconds from the configuration, read so that no value can hurt: one that
// is missing, not a number or below the least the caller takes means the default, one above a
// day means a day. A day in milliseconds still fits an int.
class DurationSetting
{
public:
    DurationSetting() = delete;

    static constexpr long MAX_SECONDS = 24L * 60 * 60;

    // The seconds at key, between least and MAX_SECONDS, or defaultSeconds; a value that was
    // not taken as it stands is traced with its key.
    static long ReadSeconds(wxConfigBase& config, const wxString& key, long defaultSeconds, long least);
};
