#pragma once

#include <cstdint>
#include <string>

typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

// Keeps an item registered with the watcher that is there. Some watchers drop an item soon after
// taking it (one of GNOME's extensions did when it stumbled over an item's properties), and a
// dropped item is shown by no panel and gets no clicks. So the item is registered again when the
// watcher says it dropped it, and when it no longer lists it a few seconds after a registration;
// with a growing pause, and a few times only, so that a watcher that drops everything is not
// pressed for ever. A watcher that keeps the item sees one registration and one question.
// Main thread only.
class StatusNotifierRegistration
{
public:
    StatusNotifierRegistration(GDBusConnection* bus, const std::string& busName);
    ~StatusNotifierRegistration();

    StatusNotifierRegistration(const StatusNotifierRegistration&) = delete;
    StatusNotifierRegistration& operator=(const StatusNotifierRegistration&) = delete;

    // A watcher is there, newly: registered with it from the start.
    void Begin();
    // No watcher any more: nothing to register with.
    void End();
    // The watcher says it took the item.
    void Taken();
    // The watcher says it dropped the item.
    void Dropped();

    // Whether a watcher's name for an item is this item's: watchers name it by its bus name, some
    // with its object path after it, some by the connection's unique name.
    bool IsOurs(const std::string& item) const;

    // The pause before the first registration again, and how many follow a drop at most.
    static constexpr int FIRST_PAUSE_SECONDS = 1;
    static constexpr int MOST_AGAIN = 4;
    // How long after a registration the watcher is asked whether it still lists the item.
    static constexpr int CHECK_SECONDS = 3;
    // An item kept this long has proved the watcher sound: a later drop starts the count afresh.
    static constexpr int KEPT_SECONDS = 60;

private:
    void Register();
    void Check();
    void OnListed(GVariant* items);
    // Forgets the pauses and the questions under way.
    void Forget();

    // The functions GLib calls, each with the registration as its data.
    class Glue;

    GDBusConnection* m_bus;
    std::string m_busName;
    // Ends the answers still on their way when the registration goes.
    GCancellable* m_cancellable;
    unsigned m_againSource = 0;
    unsigned m_checkSource = 0;
    int m_again = 0;
    // When the watcher last took the item, in GLib's monotonic microseconds; 0 before.
    std::int64_t m_takenAt = 0;
};
