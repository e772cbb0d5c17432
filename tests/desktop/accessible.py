#!/usr/bin/python3
# What a screen reader learns of the program's pop-ups: reads the accessibility bus as Orca
# does and prints one line "ROLE<TAB>NAME" for each top-level window of the application APP
# that a screen reader announces as it appears (a notification or an alert).
# Usage: accessible.py APP
import sys

import pyatspi

ANNOUNCED = ("notification", "alert")

desktop = pyatspi.Registry.getDesktop(0)
for application in desktop:
    if application is None or application.name != sys.argv[1]:
        continue
    for window in application:
        if window is not None and window.getRoleName() in ANNOUNCED:
            print("%s\t%s" % (window.getRoleName(), window.name))
