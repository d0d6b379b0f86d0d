#!/usr/bin/python3
"""A power supply tree whose reads fail as a battery driver's do, for tests.

Mounts a read-only FUSE mirror of a folder (one of tests/power/fixtures) and
answers the read of chosen files with ENODEV, as the kernel's ACPI battery
answers power_now, energy_full or current_now when its firmware does not know
them: the file is there, opens, and its read fails. Mounted with direct_io and
no attribute or entry caching, so every read and every lookup reaches it.

    /usr/bin/python3 failing_sysfs.py --source DIR --mount DIR
                                      [--fail BAT0/power_now ...] [--log FILE]

Once the mount is in place it prints "ready" on stdout. Commands, one a line
on stdin, each answered with "ok" or "error <why>":

    fail <path>       reads of <path> (under the mount) fail with ENODEV
    heal <path>       they give the file's value again
    remove <supply>   the supply is gone: its folder missing, as sysfs shows a
                      supply unplugged, and reads of files kept open fail
                      with ENODEV
    restore <supply>  it is back
    quit

Every read that reaches it is logged to the --log file as
"<time> read /<path> fuse", one a line, so that a test can count them.

It unmounts and ends at "quit", at the end of stdin, and on SIGTERM, SIGINT or
SIGHUP (libfuse's own handlers); a test may also unmount it with
fusermount3 -u.
"""

import argparse
import ctypes
import errno
import os
import subprocess
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations

MNT_DETACH = 2


class FailingTree(Operations):
    use_ns = True

    def __init__(self, source, failing, log):
        self.source = os.path.realpath(source)
        self.failing = {self.key(p) for p in failing}
        self.removed = set()
        self.log = log

    @staticmethod
    def key(path):
        return '/' + path.strip('/')

    def real(self, path):
        if self.gone(path):
            raise FuseOSError(errno.ENOENT)
        return self.source + path

    def gone(self, path):
        parts = path.strip('/').split('/')
        return bool(parts[0]) and ('/' + parts[0]) in self.removed

    def getattr(self, path, fh=None):
        st = os.lstat(self.real(path))
        attrs = {k: getattr(st, k) for k in ('st_mode', 'st_nlink', 'st_uid', 'st_gid',
                                             'st_size', 'st_ino')}
        for k in ('st_atime', 'st_mtime', 'st_ctime'):
            attrs[k] = getattr(st, k + '_ns')
        return attrs

    def readdir(self, path, fh):
        names = os.listdir(self.real(path))
        return ['.', '..'] + [n for n in names if not self.gone(path.rstrip('/') + '/' + n)]

    def readlink(self, path):
        return os.readlink(self.real(path))

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return os.open(self.real(path), os.O_RDONLY)

    def read(self, path, size, offset, fh):
        if self.log:
            self.log.write('%.6f read %s fuse\n' % (time.time(), path))
            self.log.flush()
        if path in self.failing or self.gone(path):
            raise FuseOSError(errno.ENODEV)
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)
        return 0

    def command(self, line):
        words = line.split(None, 1)
        if len(words) != 2:
            return 'error expected <command> <path>'
        verb, path = words[0], self.key(words[1])
        if verb == 'fail':
            self.failing.add(path)
        elif verb == 'heal':
            self.failing.discard(path)
        elif verb == 'remove':
            self.removed.add(path)
        elif verb == 'restore':
            self.removed.discard(path)
        else:
            return 'error unknown command ' + verb
        return 'ok'


def unmount(mount):
    # fusermount3 for a user's mount; umount2 where it is not there (root).
    if subprocess.run(['fusermount3', '-u', '-z', mount], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        ctypes.CDLL(None, use_errno=True).umount2(mount.encode(), MNT_DETACH)


def control(tree, mount):
    # The mount is there once the mount point's device differs from its parent's.
    deadline = time.monotonic() + 20
    while not os.path.ismount(mount):
        if time.monotonic() > deadline:
            print('error the mount did not come', flush=True)
            unmount(mount)
            return
        time.sleep(0.01)
    print('ready', flush=True)
    for line in sys.stdin:
        line = line.strip()
        if line == 'quit':
            break
        print(tree.command(line), flush=True)
    unmount(mount)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--source', required=True)
    parser.add_argument('--mount', required=True)
    parser.add_argument('--fail', action='append', default=[])
    parser.add_argument('--log')
    args = parser.parse_args()
    log = open(args.log, 'a', encoding='utf-8') if args.log else None
    mount = os.path.realpath(args.mount)
    tree = FailingTree(args.source, args.fail, log)
    # The driver's control runs beside libfuse's loop, which owns the main
    # thread (and its signal handlers).
    threading.Thread(target=control, args=(tree, mount), daemon=True).start()
    FUSE(tree, mount, foreground=True, nothreads=True, ro=True, direct_io=True,
         entry_timeout=0, attr_timeout=0, negative_timeout=0, fsname='failing_sysfs')


if __name__ == '__main__':
    main()
