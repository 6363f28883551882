#!/usr/bin/env python3
# Prints the Files stanzas of packaging/copyright for the descriptions in
# ksy/, one per license as each file states it in meta/license. Run from the
# repository root after adding or removing a description and paste the
# output over the stanzas there.
import collections
import pathlib
import re

by_license = collections.defaultdict(list)
holders = collections.defaultdict(list)
for path in sorted(pathlib.Path('ksy').rglob('*.ksy')):
    text = path.read_text(encoding='utf-8')
    match = re.search(r'^  license: *(\S+)', text, re.M)
    license = match.group(1) if match else 'unknown'
    by_license[license].append(path.as_posix())
    # A holder named in the file's own comments is kept with its license.
    for holder in re.findall(r'^#\s*Copyright \(c\) (.+?),?$', text, re.M):
        holders[license].append(holder)

for license, files in sorted(by_license.items(), key=lambda item: (-len(item[1]), item[0])):
    print('Files:', '\n '.join('usr/share/pellowquarnby/' + f for f in files))
    print('Copyright:', '\n '.join(holders[license] + ['the authors of the Kaitai Struct formats gallery']))
    print('License:', license)
    print()
