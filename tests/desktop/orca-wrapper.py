#!/usr/bin/python3
# Runs the screen reader Orca as /usr/bin/orca does, with its debug file written a line at a time:
# Orca keeps that file in a block buffer, so what it has spoken reaches the file only much later,
# or when it ends. The test reads the file while Orca runs.
# Usage: orca-wrapper.py --debug-file FILE [other orca options...]
import builtins
import os
import runpy
import signal
import socket
import sys

ORCA = "/usr/bin/orca"

debug_file = None
for i, arg in enumerate(sys.argv):
    if arg == "--debug-file" and i + 1 < len(sys.argv):
        debug_file = sys.argv[i + 1]
    elif arg.startswith("--debug-file="):
        debug_file = arg.split("=", 1)[1]

if debug_file is not None:
    debug_path = os.path.abspath(debug_file)
    real_open = builtins.open

    def line_buffered_open(file, mode="r", buffering=-1, *args, **kwargs):
        # Only Orca's own opening of its debug file, for writing, in text.
        if (isinstance(file, str) and os.path.abspath(file) == debug_path
                and "b" not in mode and any(c in mode for c in "wa")):
            buffering = 1
        return real_open(file, mode, buffering, *args, **kwargs)

    builtins.open = line_buffered_open

# Orca waits in the accessibility library's own main loop, where Python runs a signal's handler
# only when some event next brings it back: SIGTERM would end Orca whenever the desktop next
# stirs. A byte on a socket the loop watches brings it back at once.
from gi.repository import GLib

wake_read, wake_write = socket.socketpair()
wake_read.setblocking(False)
wake_write.setblocking(False)
signal.set_wakeup_fd(wake_write.fileno())


def woken(*_):
    try:
        wake_read.recv(64)
    except BlockingIOError:
        pass
    return True


GLib.io_add_watch(wake_read.fileno(), GLib.PRIORITY_HIGH, GLib.IOCondition.IN, woken)

sys.argv = [ORCA] + sys.argv[1:]
runpy.run_path(ORCA, run_name="__main__")
