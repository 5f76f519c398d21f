#!/usr/bin/env python3
"""Reads a trash the way a file manager does, with nothing of Vantrel's: each info file through
configparser, its Path through urllib.parse.unquote_to_bytes.

usage: read_trashinfo.py TRASH [TOPDIR] [--restore]

Prints one line per info file, in name order: NAME PATH DATE, with NAME (the name in files/)
and PATH (the original place, made absolute with TOPDIR when it is relative) as hex bytes. With
--restore, moves each files/NAME back to its PATH (never over a file that is there) and removes
its info file. Exits non-zero, saying why, on anything a reader would refuse.
"""
import configparser
import os
import sys
import urllib.parse


def main():
    restore = '--restore' in sys.argv[1:]
    args = [a for a in sys.argv[1:] if a != '--restore']
    trash = os.fsencode(args[0])
    topdir = os.fsencode(args[1]) if len(args) > 1 else None
    info_dir = os.path.join(trash, b'info')
    lines = []
    for entry in sorted(os.listdir(info_dir)):
        if not entry.endswith(b'.trashinfo'):
            sys.exit('not an info file: %r' % entry)
        info_path = os.path.join(info_dir, entry)
        with open(info_path, 'rb') as f:
            text = f.read().decode('ascii')  # an encoded Path leaves nothing else
        if not text.startswith('[Trash Info]\n'):
            sys.exit('%r does not start with its group' % entry)
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read_string(text)
        if parser.sections() != ['Trash Info']:
            sys.exit('%r has groups %r' % (entry, parser.sections()))
        info = parser['Trash Info']
        if sorted(info) != ['DeletionDate', 'Path']:
            sys.exit('%r has keys %r' % (entry, sorted(info)))
        path = urllib.parse.unquote_to_bytes(info['Path'])
        if not path.startswith(b'/'):
            if topdir is None:
                sys.exit('%r has a relative Path and no TOPDIR was given' % entry)
            path = os.path.join(topdir, path)
        name = entry[:-len(b'.trashinfo')]
        if restore:
            if os.path.lexists(path):
                sys.exit('%r: something is at the original place' % entry)
            os.rename(os.path.join(trash, b'files', name), path)
            os.unlink(info_path)
        lines.append(' '.join([name.hex(), path.hex(), info['DeletionDate']]))
    print('\n'.join(lines))


if __name__ == '__main__':
    main()
