#pragma once

#include <wx/hashmap.h>
#include <wx/image.h>
#include <wx/string.h>

class wxBitmap;
class wxBitmapBundle;
class wxConfigBase;
class wxIcon;

WX_DECLARE_STRING_HASH_MAP(wxImage, SkinImageMap);

// The process-wide store of the named images that make up the plug-in's look, read once from
// the skin archive beside the host program. It also hands out the configuration object.
class Skin
{
public:
    // The store, created and loaded from the archive on the first call.
    static Skin* GetInstance();
    // The toolkit's global configuration, created on first use; independent of the images.
    static wxConfigBase* GetConfig();
    // Registers the toolkit's decoder for type (BMP, ICO, XPM, JPEG, PNG or GIF) if it has none.
    static void EnsureImageHandler(wxBitmapType type);

    // Removes every file-system and image handler of the process along with the images.
    ~Skin();

    Skin(const Skin&) = delete;
    Skin& operator=(const Skin&) = delete;

    // A bitmap of the named image; invalid (and remembered as an empty image) when the
    // archive has no such image.
    wxBitmap GetBitmap(const wxString& name);
    wxIcon GetIcon(const wxString& name);
    // The named image at every scale the skin has it: its own size, and the picture of twice
    // that size stored as NAME@2x where the skin has one, for screens that draw at scale 2 (the
    // toolkit enlarges the small one where it has not). Empty where GetBitmap is invalid.
    wxBitmapBundle GetBitmapBundle(const wxString& name);
    // The named image as drawn on the display's screens, with the matching scale factor.
    wxBitmap GetBitmapForDisplay(const wxString& name);

    // How many names the store holds: those loaded, and those asked for but missing.
    size_t GetImageCount() const { return m_images.size(); }

private:
    Skin();

    void Load(const wxString& archive);

    SkinImageMap m_images;

    static Skin* ms_instance;
};
