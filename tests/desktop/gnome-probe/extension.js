// For the desktop tests only: the shell answers org.gnome.Shell.Eval (as in Looking Glass's
// unsafe mode), notes the title of every notification it shows as a banner and of every one it
// puts in its list, so that a test can tell a banner from a mere entry however short-lived, and
// has a pointer and a keyboard of its own for the test to use, as a user at the desktop does.
/* exported init */
const { Clutter, GLib } = imports.gi;
const Main = imports.ui.main;

class Probe {
    enable() {
        global.context.unsafe_mode = true;
        // Titles in the order they came; a banner also notes which of the listed it shows.
        global.parloBanners = [];
        global.parloBannerPlaces = [];
        global.parloListed = [];
        const tray = Main.messageTray;
        this._showNotification = tray._showNotification;
        const original = this._showNotification;
        tray._showNotification = function (...args) {
            original.apply(this, args);
            if (this._notification) {
                global.parloBanners.push(this._notification.title);
                global.parloBannerPlaces.push(this._notification.parloPlace);
            }
        };
        this._sourceAdded = tray.connect('source-added', (_tray, source) => {
            source.connect('notification-added', (_source, notification) => {
                if (notification.parloPlace === undefined)
                    notification.parloPlace = global.parloListed.push(notification.title) - 1;
            });
        });
        const seat = Clutter.get_default_backend().get_default_seat();
        const pointer = seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
        global.parloPointer = {
            moveTo: (x, y) => pointer.notify_absolute_motion(GLib.get_monotonic_time(), x, y),
        };
        // Keys by their names, pressed in turn and let go in the other order: ['Alt_L', 't'].
        const keyboard = seat.create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        global.parloKeys = {
            chord: names => {
                const keyvals = names.map(name => Clutter[`KEY_${name}`]);
                keyvals.forEach(keyval =>
                    keyboard.notify_keyval(GLib.get_monotonic_time(), keyval, Clutter.KeyState.PRESSED));
                keyvals.reverse().forEach(keyval =>
                    keyboard.notify_keyval(GLib.get_monotonic_time(), keyval, Clutter.KeyState.RELEASED));
            },
        };
    }

    disable() {
        Main.messageTray._showNotification = this._showNotification;
        Main.messageTray.disconnect(this._sourceAdded);
        global.context.unsafe_mode = false;
    }
}

function init() {
    return new Probe();
}
