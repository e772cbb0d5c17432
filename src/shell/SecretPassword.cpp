#include "shell/SecretPassword.h"

#include "shell/SessionBus.h"

#include <libsecret/secret.h>

#include <dlfcn.h>

namespace
{
const SecretSchema SCHEMA = {
    "org.parlotovrik.Parlo.Account",
    SECRET_SCHEMA_NONE,
    { { "host", SECRET_SCHEMA_ATTRIBUTE_STRING }, { "user", SECRET_SCHEMA_ATTRIBUTE_STRING }, { nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING } },
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr
};

wxString Problem(GError* error, const char* otherwise)
{
    const wxString text = error ? wxString::FromUTF8(error->message) : wxString(otherwise);
    if ( error )
        g_error_free(error);
    return text;
}
}

SecretPassword::SecretPassword()
    : m_cancellable(g_cancellable_new())
{
    // Its object types stay registered with GLib for the life of the process, so its code must
    // too, whenever the plug-in that uses it is unloaded and loaded again.
    dlopen("libsecret-1.so.0", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

SecretPassword::~SecretPassword()
{
    g_object_unref(m_cancellable);
}

SecretPassword::Result SecretPassword::Store(const wxString& host, const wxString& user, const wxString& password)
{
    if ( !SessionBus::IsThere() )
    {
        m_problem = "no session bus";
        return UNAVAILABLE;
    }
    // What a person sees in the keyring's window.
    const wxString label = wxString::Format("Parlo Tovrik: %s at %s", user, host);
    GError* error = nullptr;
    const gboolean stored = secret_password_store_sync(&SCHEMA, SECRET_COLLECTION_DEFAULT, label.utf8_str(),
                                                       password.utf8_str(), m_cancellable, &error, "host",
                                                       static_cast<const char*>(host.utf8_str()), "user",
                                                       static_cast<const char*>(user.utf8_str()), nullptr);
    if ( stored )
        return DONE;
    m_problem = Problem(error, "the keyring was not unlocked");
    return UNAVAILABLE;
}

SecretPassword::Result SecretPassword::Lookup(const wxString& host, const wxString& user, wxString& password)
{
    if ( !SessionBus::IsThere() )
    {
        m_problem = "no session bus";
        return UNAVAILABLE;
    }
    GError* error = nullptr;
    gchar* found = secret_password_lookup_sync(&SCHEMA, m_cancellable, &error, "host",
                                               static_cast<const char*>(host.utf8_str()), "user",
                                               static_cast<const char*>(user.utf8_str()), nullptr);
    if ( found )
    {
        password = wxString::FromUTF8(found);
        secret_password_free(found);
        return DONE;
    }
    if ( !error )
        return NOT_FOUND;
    m_problem = Problem(error, "");
    return UNAVAILABLE;
}

void SecretPassword::Cancel()
{
    g_cancellable_cancel(m_cancellable);
}
