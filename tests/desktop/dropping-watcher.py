#!/usr/bin/python3
# A StatusNotifierWatcher on the session bus that drops what it takes, as some panels' watchers
# do: each item a second after it took it, the first time only or every time. With "signal" it
# says so in StatusNotifierItemUnregistered, with "silent" it only stops listing the item, with
# "keep" it keeps every item. Each registration is printed as "registered SERVICE".
# Usage: dropping-watcher.py signal|silent|keep once|always
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
 <interface name='org.kde.StatusNotifierWatcher'>
  <method name='RegisterStatusNotifierItem'><arg name='service' type='s' direction='in'/></method>
  <method name='RegisterStatusNotifierHost'><arg name='service' type='s' direction='in'/></method>
  <property name='RegisteredStatusNotifierItems' type='as' access='read'/>
  <property name='IsStatusNotifierHostRegistered' type='b' access='read'/>
  <property name='ProtocolVersion' type='i' access='read'/>
  <signal name='StatusNotifierItemRegistered'><arg type='s'/></signal>
  <signal name='StatusNotifierItemUnregistered'><arg type='s'/></signal>
  <signal name='StatusNotifierHostRegistered'/>
 </interface>
</node>
"""
PATH = "/StatusNotifierWatcher"
NAME = "org.kde.StatusNotifierWatcher"

how, when = sys.argv[1], sys.argv[2]
items = []
dropped = set()


def emit(bus, signal, service):
    bus.emit_signal(None, PATH, NAME, signal, GLib.Variant("(s)", (service,)))


def drop(bus, service):
    if service in items:
        items.remove(service)
        dropped.add(service)
        print("dropped", service, flush=True)
        if how == "signal":
            emit(bus, "StatusNotifierItemUnregistered", service)
    return GLib.SOURCE_REMOVE


def call(bus, sender, path, interface, method, parameters, invocation):
    if method == "RegisterStatusNotifierItem":
        service = parameters.unpack()[0]
        if service not in items:
            items.append(service)
        print("registered", service, flush=True)
        invocation.return_value(None)
        emit(bus, "StatusNotifierItemRegistered", service)
        if how != "keep" and (when == "always" or service not in dropped):
            GLib.timeout_add(1000, drop, bus, service)
    else:
        invocation.return_value(None)


def get(bus, sender, path, interface, name):
    if name == "RegisteredStatusNotifierItems":
        return GLib.Variant("as", items)
    if name == "IsStatusNotifierHostRegistered":
        return GLib.Variant("b", True)
    return GLib.Variant("i", 0)


def acquired(bus, name):
    info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
    bus.register_object(PATH, info, call, get, None)


def owned(bus, name):
    print("watching", flush=True)


Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, acquired, owned,
                 lambda bus, name: sys.exit(1))
GLib.MainLoop().run()
