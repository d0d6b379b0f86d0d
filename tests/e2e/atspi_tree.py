#!/usr/bin/python3
"""Prints the accessible tree of a running application as a screen reader
reads it over AT-SPI, one object a line, indented by depth:
<role>|<name>|<description>|<value of a bar or slider>, a line break in a
name or description written as \\n.

    /usr/bin/python3 atspi_tree.py <application name>    # exit 1: not found

Run it with Debian's /usr/bin/python3 (python3-pyatspi), on the session bus
where the accessibility bus was launched.
"""

import sys

import pyatspi


def walk(obj, depth=0):
    try:
        value = '%g' % obj.queryValue().currentValue
    except NotImplementedError:
        value = ''
    name, description = (t.replace('\n', '\\n') for t in (obj.name, obj.description))
    print('%s%s|%s|%s|%s' % ('  ' * depth, obj.getRoleName(), name, description, value))
    for child in (obj.getChildAtIndex(i) for i in range(obj.childCount)):
        if child is not None:
            walk(child, depth + 1)


apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == sys.argv[1]]
for app in apps:
    walk(app)
sys.exit(0 if apps else 1)
