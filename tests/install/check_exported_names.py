#!/usr/bin/env python3
"""Checks that a shared library exports exactly the public functions of the headers.

usage: check_exported_names.py SHARED_LIBRARY HEADER_DIR

The public functions are the declarations marked NORVALE_API in the headers of HEADER_DIR. An
exported name passes when it is one of them with C linkage (DecodeImage), or when it demangles
to one of them in namespace norvale (norvale::DecodePath(...), any overload). Fails, naming them,
when anything else is exported, a public function is not, or a header declares a function at
the outermost level (column 0, not inline) without the mark.
"""
import glob
import os
import re
import subprocess
import sys

# Comments and preprocessor lines (the macro's own definition among them) are not declarations.
NOT_CODE = re.compile(r'/\*.*?\*/|//[^\n]*|^[ \t]*#(?:[^\n]*\\\n)*[^\n]*', re.S | re.M)
DECLARATION = re.compile(r'\bNORVALE_API\s+[^;{}()]*?\b(\w+)\s*\(')
# A function declared at column 0 and ended by ';' (parameters may run over several lines).
UNMARKED = re.compile(r'^(?!NORVALE_API\b|inline\b|constexpr\b|template\b|static\b|typedef\b|extern\b)'
                      r'[A-Za-z_][\w:<>,*& ]*?\b(\w+)\s*\([^;{}]*\)[\w ]*;', re.M)
CPP_FUNCTION = re.compile(r'^norvale::(\w+)\(')


def declared_functions(header_dir):
    """The names marked NORVALE_API, and those declared without the mark."""
    marked, unmarked = set(), set()
    for header in sorted(glob.glob(os.path.join(header_dir, '*.h*'))):
        with open(header, encoding='utf-8') as handle:
            # The mark joined to what it marks, should it stand on a line of its own.
            code = re.sub(r'\bNORVALE_API\s+', 'NORVALE_API ', NOT_CODE.sub(' ', handle.read()))
        marked.update(DECLARATION.findall(code))
        unmarked.update(UNMARKED.findall(code))
    return marked, unmarked


def exported_symbols(library):
    listing = subprocess.run(['nm', '-D', '--defined-only', '--format=posix', library],
                             capture_output=True, text=True, check=True).stdout
    mangled = [line.split()[0] for line in listing.splitlines() if line.strip()]
    demangled = subprocess.run(['c++filt'], input='\n'.join(mangled) + '\n',
                               capture_output=True, text=True, check=True).stdout.splitlines()
    return list(zip(mangled, demangled))


def public_name(mangled, demangled, public):
    if mangled in public:
        return mangled
    match = CPP_FUNCTION.match(demangled)
    return match.group(1) if match and match.group(1) in public else None


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    public, unmarked = declared_functions(sys.argv[2])
    if not public:
        sys.exit('no function marked NORVALE_API in ' + sys.argv[2])
    symbols = exported_symbols(sys.argv[1])
    stray = [demangled for mangled, demangled in symbols if not public_name(mangled, demangled, public)]
    found = {public_name(mangled, demangled, public) for mangled, demangled in symbols}
    missing = sorted(public - found)
    for demangled in stray:
        print('exported but not public:', demangled)
    for name in missing:
        print('public but not exported:', name)
    for name in sorted(unmarked):
        print('declared without NORVALE_API:', name)
    if stray or missing or unmarked:
        sys.exit(1)
    for mangled, demangled in symbols:
        print('exported:', demangled)


if __name__ == '__main__':
    main()
