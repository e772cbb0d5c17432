#include "shell/SecretPassword.h"

#include "shell/SessionBus.h"

#include <libsecret/secret.h>

#include <dlfcn.h>

#include <functional>

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

// One call to the service, made on a main loop of the calling thread's own. It ends with the
// service's answer, or at once when the call is cancelled, whatever the service still does: a
// service that asks the user, and then goes away, must not keep the thread. An abandoned call's
// state is left behind, as its answer may still come; nothing runs that loop again to deliver it.
class SecretPassword::Call
{
public:
    typedef std::function<void(Call* call, GCancellable* cancellable)> Start;

    // False when cancelled before the answer came.
    static bool Run(const Start& start, GCancellable* cancellable, Call*& answered)
    {
        Call* call = new Call;
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        call->m_loop = g_main_loop_new(context, FALSE);
        const gulong cancelled =
            g_cancellable_connect(cancellable, G_CALLBACK(&Call::Quit), call->m_loop, nullptr);
        start(call, cancellable);
        if ( !call->m_done && !g_cancellable_is_cancelled(cancellable) )
            g_main_loop_run(call->m_loop);
        g_cancellable_disconnect(cancellable, cancelled);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
        if ( !call->m_done )
            return false;
        g_main_loop_unref(call->m_loop);
        answered = call;
        return true;
    }

    static void Stored(GObject*, GAsyncResult* result, gpointer data)
    {
        Call* call = static_cast<Call*>(data);
        call->m_stored = secret_password_store_finish(result, &call->m_error);
        call->Finish();
    }

    static void LookedUp(GObject*, GAsyncResult* result, gpointer data)
    {
        Call* call = static_cast<Call*>(data);
        call->m_password = secret_password_lookup_finish(result, &call->m_error);
        call->Finish();
    }

    gboolean m_stored = FALSE;
    gchar* m_password = nullptr;
    GError* m_error = nullptr;

private:
    static void Quit(GCancellable*, gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); }

    void Finish()
    {
        m_done = true;
        g_main_loop_quit(m_loop);
    }

    GMainLoop* m_loop = nullptr;
    bool m_done = false;
};

SecretPassword::Result SecretPassword::Store(const wxString& host, const wxString& user, const wxString& password)
{
    if ( !SessionBus::IsThere() )
    {
        m_problem = "no session bus";
        return UNAVAILABLE;
    }
    // What a person sees in the keyring's window.
    const wxString label = wxString::Format("Parlo Tovrik: %s at %s", user, host);
    const wxScopedCharBuffer hostText = host.utf8_str(), userText = user.utf8_str(), labelText = label.utf8_str(),
                             passwordText = password.utf8_str();
    Call* call = nullptr;
    const bool answered = Call::Run(
        [&](Call* started, GCancellable* cancellable) {
            secret_password_store(&SCHEMA, SECRET_COLLECTION_DEFAULT, labelText.data(), passwordText.data(),
                                  cancellable, &Call::Stored, started, "host", hostText.data(), "user",
                                  userText.data(), nullptr);
        },
        m_cancellable, call);
    if ( !answered )
    {
        m_problem = "given up";
        return UNAVAILABLE;
    }
    const gboolean stored = call->m_stored;
    m_problem = stored ? wxString() : Problem(call->m_error, "the keyring was not unlocked");
    delete call;
    return stored ? DONE : UNAVAILABLE;
}

SecretPassword::Result SecretPassword::Lookup(const wxString& host, const wxString& user, wxString& password)
{
    if ( !SessionBus::IsThere() )
    {
        m_problem = "no session bus";
        return UNAVAILABLE;
    }
    const wxScopedCharBuffer hostText = host.utf8_str(), userText = user.utf8_str();
    Call* call = nullptr;
    const bool answered = Call::Run(
        [&](Call* started, GCancellable* cancellable) {
            secret_password_lookup(&SCHEMA, cancellable, &Call::LookedUp, started, "host", hostText.data(), "user",
                                   userText.data(), nullptr);
        },
        m_cancellable, call);
    if ( !answered )
    {
        m_problem = "given up";
        return UNAVAILABLE;
    }
    Result result = NOT_FOUND;
    if ( call->m_password )
    {
        password = wxString::FromUTF8(call->m_password);
        secret_password_free(call->m_password);
        result = DONE;
    }
    else if ( call->m_error )
    {
        m_problem = Problem(call->m_error, "");
        result = UNAVAILABLE;
    }
    delete call;
    return result;
}

void SecretPassword::Cancel()
{
    g_cancellable_cancel(m_cancellable);
}
