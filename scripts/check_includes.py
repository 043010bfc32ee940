#!/usr/bin/env python3
"""Folder-to-folder includes of the project, and the layering they must follow.

usage: scripts/check_includes.py [--list]

Every project include ("..." form) of a source file is mapped to the folder of the file it names.
The folders are ranked as the pipeline runs, from the ground up:

  include/norvale  public headers: what the library promises, nothing of its insides
  image            the grey picture and its readers
  decoder/base     geometry, sampling, the frame and the records the stages share
  decoder/location, decoder/grid, decoder/sampling    the stages, side by side
  decoder/codewords                                   placement, correction, data decoding
  decoder          the drivers: context, chain, passes, probes, retry, entries
  apps, python, bench, tools, fuzz, examples          programs on top of the library

A file may include files of its own folder and of lower-ranked folders only; two folders of the
same rank know nothing of each other. Tests are left out: they reach into every stage.
Exits 1 and names each include that breaks the rule; --list prints every folder-to-folder count.
"""
import os
import re
import subprocess
import sys

RANKS = [
    (['include/norvale'], 0),
    (['image'], 1),
    (['decoder/base'], 2),
    (['decoder/location', 'decoder/grid', 'decoder/sampling'], 3),
    (['decoder/codewords'], 4),
    (['decoder'], 5),
    (['apps', 'python', 'bench', 'tools', 'fuzz', 'examples'], 6),
]
SOURCE = re.compile(r'\.(c|cc|cpp|h|hpp)$')
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    """The ranked folder a repository path belongs to, or None (tests, scripts, cmake)."""
    best = None
    for folders, rank in RANKS:
        for folder in folders:
            if path == folder or path.startswith(folder + '/'):
                if best is None or len(folder) > len(best[0]):
                    best = (folder, rank)
    return best


def resolve(include, includer):
    """The repository path an include names: from the repository root, include/, or its folder."""
    for candidate in (include, os.path.join('include', include),
                      os.path.normpath(os.path.join(os.path.dirname(includer), include))):
        if os.path.isfile(candidate):
            return candidate
    return None


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
    os.chdir(root)
    files = subprocess.run(['git', 'ls-files'], capture_output=True, text=True, check=True).stdout.split()
    counts = {}
    broken = []
    for path in files:
        if not SOURCE.search(path):
            continue
        source = folder_of(path)
        if source is None:
            continue
        with open(path, encoding='utf-8', errors='replace') as handle:
            text = handle.read()
        for include in INCLUDE.findall(text):
            target_path = resolve(include, path)
            if target_path is None:
                continue
            target = folder_of(target_path)
            if target is None or target[0] == source[0]:
                continue
            key = (source[0], target[0])
            counts[key] = counts.get(key, 0) + 1
            if target[1] >= source[1]:
                broken.append(f'{path}: includes {include} ({target[0]} is not below {source[0]})')
    if '--list' in sys.argv:
        for (source, target), n in sorted(counts.items()):
            print(f'{source} -> {target}: {n}')
    for line in broken:
        print(line)
    if broken:
        print(f'{len(broken)} include(s) point up or sideways', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
