"""The stdin side of the drivers in this folder (upower_mock.py,
upowerd_umockdev.py): one command a line, each answered on stdout with "ok" or
"error <why>" once the driver has acted on it, so that a test that waits for
the answer knows the change is on the bus. "quit" is every driver's.

The loop ends on "quit", at the end of stdin (so a driver goes when whoever
feeds it goes), and on the signals the driver names (SIGTERM and SIGINT unless
it says otherwise).
"""

import os
import signal
import sys

from gi.repository import GLib


def say(text):
    os.write(sys.stdout.fileno(), (text + '\n').encode())


def serve(loop, run, signals=(signal.SIGTERM, signal.SIGINT)):
    """Prints "ready" and runs the GLib main loop, handing each command line
    but "quit" to run(line); what it raises is the answer's reason."""
    pending = b''

    def on_input(fd, _condition):
        nonlocal pending
        data = os.read(fd, 4096)
        if not data:
            loop.quit()
            return False
        pending += data
        while b'\n' in pending:
            line, pending = pending.split(b'\n', 1)
            line = line.decode().strip()
            if not line:
                continue
            try:
                if line.split()[0] == 'quit':
                    loop.quit()
                else:
                    run(line)
                answer = 'ok'
            except Exception as e:  # the test reads the reason
                answer = f'error {type(e).__name__}: {e}'
            say(answer)
        return True

    GLib.io_add_watch(sys.stdin.fileno(), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, on_input)
    for sig in signals:
        GLib.unix_signal_add(GLib.PRIORITY_HIGH, sig, loop.quit)
    say('ready')
    loop.run()
