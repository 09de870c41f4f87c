#!/usr/bin/env python3
"""Writes the seed corpora of the qz front-end fuzz programs from the golden
scripts, the examples and the test corpus (run from the repository root):
  fuzz/corpus/fuzz_qz_run/         scripts of at most 16 command lines
  fuzz/corpus/fuzz_qz_pitchtally/  2 option bytes + a stream
  fuzz/corpus/fuzz_qz_subtone/     2 option bytes + a chord file of <= 6 chords
Long files are cut into pieces; a script piece keeps the script's box lines."""
import glob, hashlib, os

def busy(line):
    return line.split('#', 1)[0].strip() != '' if not line.lstrip().startswith('#') else False

def write(target, data):
    d = os.path.join('fuzz', 'corpus', target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, hashlib.sha1(data).hexdigest()), 'wb') as f:
        f.write(data)

def pieces(lines, n, keep=()):
    out, cur = [], []
    for l in lines:
        if busy(l) and sum(busy(x) for x in cur) >= n:
            out.append(list(keep) + cur)
            cur = []
        cur.append(l)
    if cur:
        out.append(list(keep) + cur)
    return out

scripts = sorted(glob.glob('tests/cli/golden/*.qzs') + glob.glob('examples/run/*.qzs') +
                 glob.glob('tests/reliability/golden/*.qzs'))
for path in scripts:
    lines = open(path, encoding='utf-8').read().splitlines(keepends=True)
    boxes = [l for l in lines if l.startswith('box ')]
    keep = boxes if len(boxes) <= 4 else []
    for p in pieces([l for l in lines if l not in keep], 16 - len(keep), keep):
        write('fuzz_qz_run', ''.join(p).encode())

streams = ['examples/pitchtally/stream.txt', 'tests/corpus/events_dense.txt',
           'tests/corpus/events_melody.txt']
for i, path in enumerate(streams):
    lines = open(path, encoding='utf-8').read().splitlines(keepends=True)
    for j, p in enumerate(pieces(lines, 40)[:6]):
        write('fuzz_qz_pitchtally', bytes([(i * 7 + j) % 64 | 16, (j * 9) % 256]) + ''.join(p).encode())
write('fuzz_qz_pitchtally', bytes([0x18, 0x41]) + 'time,pitch,amp\n0 C4 0.5\n10 Bb3-31c 0.4\n20, F\u266f4+14c, 0.3\n30 stop\n'.encode())

chords = ['examples/subtone/chords-midi.txt', 'examples/subtone/chords-names.txt',
          'tests/corpus/chords_hz.txt', 'tests/corpus/chords_midi.txt']
for i, path in enumerate(chords):
    if not os.path.exists(path):
        continue
    lines = open(path, encoding='utf-8').read().splitlines(keepends=True)
    midi = 'midi' in path or 'names' in path
    for j, p in enumerate(pieces(lines, 6)[:8]):
        opt = (1 if midi else 0) | (j % 4) << 1 | (8 if j % 3 == 0 else 0) | (j % 3) << 5
        write('fuzz_qz_subtone', bytes([opt, j * 5 % 35]) + ''.join(p).encode())
write('fuzz_qz_subtone', bytes([0x0b, 0]) + '# notes\nC4, E4, G4\nBb3-31c C4+14c E\u266d4\nA4 C#5 E5 # A major\n'.encode())
write('fuzz_qz_subtone', bytes([0x08, 0]) + 'A4 C#5 E5\n440,550,660\n'.encode())

# Regressions: every command word alone (a bare box/send/set once read past
# its word list), and a chord file with invalid UTF-8 and a NUL byte.
write('fuzz_qz_run', b'send\nset\nbox\nset s\nsend s\nbox b\nconnect\nget\nassist\nadvance\nat\nfree\nrun 1 2\necho\n')
write('fuzz_qz_subtone', b'\x0b\x00C4 \xff\xfe G4\nE4\x00\n')
