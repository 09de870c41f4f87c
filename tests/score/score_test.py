#!/usr/bin/env python3
"""qz subtone --score end to end, on the hand-written scores of this folder
and on MIDI files that the small MIDI writer below makes (independent of
qz's reader).

  score_test.py QZ cli        tables, written scores, bad input
  score_test.py QZ musescore  MuseScore 3 opens and renders what qz writes,
                              and reads back the same; its demo scores
                              (exit 77: skipped when mscore3 is missing)
  score_test.py - seeds DIR   writes the MIDI files below to DIR (the seeds
                              of fuzz/corpus/fuzz_score_midi)

Expected chords and positions are read off the scores by hand. Expected
fundamentals come from harmonic reasoning where it is plain (a major
triad with its octave doublings is harmonics 4:5:6:8 of the note two
octaves below its root, a perfect fifth 2:3, one note is its own
fundamental, a triad moved by a quarter tone moves its fundamental by as
much; with --approx 0 only exact multiples count, and 2^(7/12) is no 3/2);
every fundamental is also compared with what `qz subtone --mode midi`
prints for the same pitches, which is the same box fed a chord by hand.
"""
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
QZ = sys.argv[1]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def run(*args, cwd=None):
    p = subprocess.run([QZ, *args], capture_output=True, text=True, timeout=300, cwd=cwd)
    return p.returncode, p.stdout, p.stderr


def table(path, *extra):
    """Rows (position, [chord names], fundamental name, MIDI text)."""
    rc, out, err = run("subtone", "--score", path, *extra)
    check(rc == 0, f"{path} {extra}: exit {rc}: {err}")
    rows = []
    for line in out.splitlines():
        if line.startswith("  "):
            continue  # --explain
        pos, rest = line.split(": ", 1)
        chord, f0 = rest.split(" -> ")
        name, value = f0.split(" (", 1)
        rows.append((pos, chord.split(), name, value.split(",")[0].rstrip(")")))
    return rows


NOTE = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def name_midi(n):
    """MIDI number of a name as the table prints it (C#4-50c)."""
    i, v = 1, NOTE[n[0]]
    while i < len(n) and n[i] in "#b":
        v += 1 if n[i] == "#" else -1
        i += 1
    j = i + 1 if n[i] == "-" else i
    while j < len(n) and n[j].isdigit():
        j += 1
    v += (int(n[i:j]) + 1) * 12
    if j < len(n):
        v += float(n[j:].rstrip("c")) / 100
    return v


def same_bits(rows, what, approx=None):
    """Each fundamental is what the box gives for the chord by hand."""
    for pos, chord, _, value in rows:
        args = ["subtone", "--mode", "midi"] + (["--approx", approx] if approx else [])
        args += ["--", *[repr(name_midi(n)) for n in chord]]
        rc, out, err = run(*args)
        check(out.strip() == value, f"{what} {pos}: score {value}, chord by hand {out.strip()} {err}")


def expect(rows, want, what):
    got = [(p, " ".join(c), v) for p, c, _, v in rows]
    check(got == want, f"{what}:\n  got  {got}\n  want {want}")


# ---- a tiny Standard MIDI File writer, independent of qz's reader -------
def vlq(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.insert(0, 0x80 | (v & 0x7F))
        v >>= 7
    return bytes(out)


def track(events, running=False):
    """events: (tick, bytes) in time order; running status drops repeated
    channel status bytes."""
    data, at, last = b"", 0, None
    for tick, ev in events:
        data += vlq(tick - at)
        at = tick
        if running and ev[0] < 0xF0 and ev[0] == last:
            ev = ev[1:]
        else:
            last = ev[0] if ev[0] < 0xF0 else None
        data += ev
    data += vlq(0) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + data


def smf(fmt, tracks, division=480):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division) + b"".join(tracks)


def on(ch, k, v=80):
    return bytes([0x90 | ch, k, v])


def off(ch, k):  # a note-on of velocity 0
    return bytes([0x90 | ch, k, 0])


def chorale_midi():
    # The chorale phrase at 120 bpm, then 60 bpm from tick 1920 (2 s) on,
    # where one more C4 sounds for a quarter (1 s): G C D G (quarters), G
    # (half), C4.
    tempo = [(0, b"\xff\x51\x03\x07\xa1\x20"), (1920, b"\xff\x51\x03\x0f\x42\x40")]
    chords = [([55, 59, 62, 67], 0, 480), ([60, 64, 67, 72], 480, 960),
              ([62, 66, 69, 74], 960, 1440), ([55, 59, 62, 67], 1440, 1920),
              ([60], 1920, 2400)]
    ev = [(0, b"\xf0\x05\x7e\x7f\x09\x01\xf7"),  # a sysex (GM on)
          (0, bytes([0x99, 36, 100])), (240, bytes([0x89, 36, 0]))]  # a drum
    for keys, a, b in chords:
        ev += [(a, on(0, k)) for k in keys] + [(b, off(0, k)) for k in keys]
    ev.sort(key=lambda e: (e[0], e[1][2] != 0))  # offs first at a tick
    named = [(0, b"\xff\x03\x05Choir")] + ev
    return smf(1, [track(tempo), track(named, running=True)])


def played_midi():
    """chorale_midi's first track and chords, as a player gives them: late
    starts and early or late ends."""
    tempo = [(0, b"\xff\x51\x03\x07\xa1\x20"), (1920, b"\xff\x51\x03\x0f\x42\x40")]
    chords = [([55, 59, 62, 67], 0, 480), ([60, 64, 67, 72], 480, 960),
              ([62, 66, 69, 74], 960, 1440), ([55, 59, 62, 67], 1440, 1920), ([60], 1920, 2400)]
    ev = []
    for keys, a, b in chords:
        for i, k in enumerate(keys):
            ev += [(a + [0, 3, 7, 12][i], on(0, k)), (b + [-5, 4, -5, 4][i], off(0, k))]
    ev.sort(key=lambda e: e[0])
    return smf(1, [track(tempo), track([(0, b"\xff\x03\x05Choir")] + ev)])


def bend_midi():
    # Format 0. RPN 0 sets channel 0's bend range to 1 semitone; a bend of
    # +4096 (half the range: +0.5 semitone) moves C4 E4 G4 up a quarter
    # tone; then C4 unbent, a zero-length C5 (nothing), and two strokes of
    # C3 on channel 1 (the second ends the first).
    ev = [(0, b"\xb0\x65\x00"), (0, b"\xb0\x64\x00"), (0, b"\xb0\x06\x01"), (0, b"\xb0\x26\x00"),
          (0, bytes([0xE0, 0x00, 0x60])),  # 12288 = 8192 + 4096
          (0, on(0, 60)), (0, on(0, 64)), (0, on(0, 67)),
          (480, off(0, 60)), (480, off(0, 64)), (480, off(0, 67)),
          (480, bytes([0xE0, 0x00, 0x40])), (480, on(0, 60)),
          (480, on(0, 72)), (480, off(0, 72)),
          (960, off(0, 60)), (960, on(1, 48)), (1200, on(1, 48)), (1440, bytes([0x81, 48, 0]))]
    return smf(0, [track(ev, running=True)])


def midi_tracks(data):
    """(format, [list of (tick, status, bytes) per track]) of a MIDI file."""
    fmt, n, div = struct.unpack(">HHH", data[8:14])
    pos, tracks = 14, []
    while len(tracks) < n:
        ln = struct.unpack(">I", data[pos + 4:pos + 8])[0]
        d, i, tick, run_st, evs = data[pos + 8:pos + 8 + ln], 0, 0, 0, []
        while i < len(d):
            v = 0
            while True:
                c = d[i]; i += 1
                v = (v << 7) | (c & 0x7F)
                if c < 0x80:
                    break
            tick += v
            st = d[i]
            if st >= 0x80:
                i += 1
            else:
                st = run_st
            if st == 0xFF:
                t, ml = d[i], d[i + 1]
                evs.append((tick, st, d[i:i + 2 + ml])); i += 2 + ml
            elif st in (0xF0, 0xF7):
                i += 1 + d[i]
            else:
                run_st = st
                k = 1 if st & 0xF0 in (0xC0, 0xD0) else 2
                evs.append((tick, st, d[i:i + k])); i += k
        tracks.append(evs)
        pos += 8 + ln
    return fmt, tracks


def timewise(text):
    """A partwise MusicXML text turned timewise: the MusicXML standard's own
    mapping (its parttime.xsl), done with ElementTree."""
    root = ET.fromstring(text.encode("utf-8") if text.startswith("<?xml") and "UTF-16" not in text[:60]
                         else text.replace('encoding="UTF-16"', "").encode("utf-8"))
    tw = ET.Element("score-timewise", root.attrib)
    parts = root.findall("part")
    for c in root:
        if c.tag != "part":
            tw.append(c)
    for i, m in enumerate(parts[0].findall("measure")):
        tm = ET.SubElement(tw, "measure", m.attrib)
        for p in parts:
            tp = ET.SubElement(tm, "part", {"id": p.get("id")})
            tp.extend(list(p.findall("measure")[i]))
    head = '<?xml version="1.0" encoding="UTF-16"?>' if "UTF-16" in text[:60] else '<?xml version="1.0"?>'
    return head + ET.tostring(tw, encoding="unicode")


TYPES = ["whole", "half", "quarter", "eighth", "16th", "32nd", "64th", "128th"]


def written_durations_agree(root, pid):
    """Each typed note of part `pid` lasts what its type, dots and
    <time-modification> say (the MusicXML standard's arithmetic, which
    MuseScore checks as it reads): [] or the notes that do not."""
    bad, div = [], None
    for m in root.find(f"part[@id='{pid}']").findall("measure"):
        div = int(m.findtext("attributes/divisions") or div)
        for n in m.findall("note"):
            if n.findtext("type") is None:
                continue
            q = 4 / 2 ** TYPES.index(n.findtext("type")) * (1.5 if n.find("dot") is not None else 1)
            a, b = n.findtext("time-modification/actual-notes"), n.findtext("time-modification/normal-notes")
            if a:
                q = q * int(b) / int(a)
            if abs(q * div - int(n.findtext("duration"))) > 1e-9:
                bad.append((m.get("number"), n.findtext("type"), n.findtext("duration"), a, b))
    return bad


def part_notes(root, pid):
    """The notes of part `pid`: (measure, step/alter/octave or 'rest',
    duration, ties, accidental, lyric)."""
    out = []
    for m in root.find(f"part[@id='{pid}']").findall("measure"):
        for n in m.findall("note"):
            if n.find("rest") is not None:
                p = "rest"
            else:
                a = n.findtext("pitch/alter")
                p = n.findtext("pitch/step") + (a if a else "") + n.findtext("pitch/octave")
            out.append((m.get("number"), p, int(n.findtext("duration")),
                        "".join(t.get("type")[:3] for t in n.findall("tie")),
                        n.findtext("accidental"), n.findtext("lyric/text")))
    return out


def cli(tmp):
    s = lambda f: os.path.join(HERE, f)
    # The chorale: positions, chords and the triads' fundamentals by hand.
    rows = table(s("chorale.musicxml"))
    expect(rows, [("measure 1 beat 1", "G3 B3 D4 G4", "31"), ("measure 1 beat 2", "C4 E4 G4 C5", "36"),
                  ("measure 1 beat 3", "D4 F#4 A4 D5", "38"), ("measure 1 beat 4", "G3 B3 D4 G4", "31"),
                  ("measure 2 beat 1", "G3 B3 D4 G4", "31")], "chorale")
    same_bits(rows, "chorale")
    # Ties across the barline: C4 sounds from beat 3 into measure 2 as one
    # chord; G3+C4 is a fourth (3:4 of C2), G3+D4 a fifth (2:3 of G2).
    rows = table(s("ties.musicxml"))
    expect(rows, [("measure 1 beat 1", "G3 C4", "36"), ("measure 1 beat 3", "C4", "60"),
                  ("measure 2 beat 2", "G3 D4", "43")], "ties")
    same_bits(rows, "ties")
    rows = table(s("quarter.musicxml"))
    expect(rows, [("measure 1 beat 1", "C#4-50c F4-50c G#4-50c", "36.5"),
                  ("measure 2 beat 1", "C4-50c E4-50c G4-50c", "35.5")], "quarter tones")
    same_bits(rows, "quarter tones")
    # Two parts: the unison is one pitch; both rest on beat 3 (no chord).
    uni = [("measure 1 beat 1", "C4", "60"), ("measure 1 beat 2", "C4 G4", "48"),
           ("measure 1 beat 4", "G3", "55")]
    rows = table(s("unisons.musicxml"))
    expect(rows, uni, "unisons")
    same_bits(rows, "unisons")
    expect(table(s("unisons.musicxml"), "--approx", "0"),
           [uni[0], ("measure 1 beat 2", "C4 G4", "-inf"), uni[2]], "no fundamental (--approx 0)")
    expect(table(s("unisons.musicxml"), "--parts", "Soprano"),
           [("measure 1 beat 1", "C4", "60"), ("measure 1 beat 2", "G4", "67")], "--parts Soprano")
    # A part that is not there: every part named, with its number.
    rc, out, err = run("subtone", "--score", s("unisons.musicxml"), "--parts", "Sopran")
    check(rc == 1 and err.endswith("--parts: no part 'Sopran'; the parts are 1 'Soprano', 2 'Alto'\n"),
          f"--parts Sopran: exit {rc}, {err!r}")
    expect(table(s("unisons.musicxml"), "--parts", "2"),
           [("measure 1 beat 1", "C4", "60"), ("measure 1 beat 2", "C4", "60"),
            ("measure 1 beat 4", "G3", "55")], "--parts 2")
    # --order high: the highest pitch first; the box's answer may differ,
    # and is what the box gives for that list by hand.
    rc, out, _ = run("subtone", "--score", s("chorale.musicxml"), "--order", "high", "--explain")
    check(rc == 0 and "partial 1: 67 (G4)" in out, "--order high --explain: " + out[:300])

    # .mxl: the chorale zipped, with its container naming the root file.
    import zipfile
    mxl = os.path.join(tmp, "chorale.mxl")
    with zipfile.ZipFile(mxl, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("META-INF/container.xml", '<?xml version="1.0"?><container><rootfiles>'
                   '<rootfile full-path="score/c.xml"/></rootfiles></container>')
        z.write(s("chorale.musicxml"), "score/c.xml")
    check(table(mxl) == table(s("chorale.musicxml")), ".mxl reads as its MusicXML")

    # Encodings and layouts a notation program may write: each reads as
    # the plain UTF-8 partwise file does, and -o writes UTF-8 (and keeps
    # the timewise layout, with the new part in every measure).
    src = s("chorale.musicxml")
    text = open(src, encoding="utf-8").read()
    utf16 = text.replace('encoding="UTF-8"', 'encoding="UTF-16"')
    variants = {
        "bom8": b"\xef\xbb\xbf" + text.encode("utf-8"),
        "le": b"\xff\xfe" + utf16.encode("utf-16-le"),
        "be": b"\xfe\xff" + utf16.encode("utf-16-be"),
        "le-nobom": utf16.encode("utf-16-le"),  # told by its declaration
        "timewise": timewise(text).encode("utf-8"),
        "timewise-be": b"\xfe\xff" + timewise(utf16).encode("utf-16-be"),
    }
    want = table(src)
    for name, data in variants.items():
        path = os.path.join(tmp, name + ".musicxml")
        open(path, "wb").write(data)
        check(table(path) == want, f"{name}: reads as the UTF-8 partwise file")
        out = os.path.join(tmp, name + "-out.musicxml")
        rc, _, err = run("subtone", "--score", path, "-o", out)
        head = open(out, "rb").read(100)
        check(rc == 0 and head.startswith(b"<?xml") and b"UTF-16" not in head,
              f"-o {name}: exit {rc} {err}, UTF-8: {head!r}")
        root = ET.parse(out).getroot()
        if name.startswith("timewise"):
            check(root.tag == "score-timewise" and
                  all(m.findall("part")[-1].get("id") == "QZVF" for m in root.findall("measure")),
                  f"-o {name}: the new part in every timewise measure")
        back = [r[1][0] for r in table(out, "--parts", "Virtual fundamental")]
        check(back == [r[2] for r in want], f"-o {name}: read back {back}")
    with zipfile.ZipFile(os.path.join(tmp, "le.mxl"), "w") as z:
        z.writestr("META-INF/container.xml", '<container><rootfiles><rootfile full-path="le.xml"/>'
                   '</rootfiles></container>')
        z.writestr("le.xml", variants["le"])
    check(table(os.path.join(tmp, "le.mxl")) == want, ".mxl holding UTF-16")

    # Transposing parts sound at concert pitch. transposing.musicxml:
    # clarinet in B-flat (a major second down), horn in F (a fifth down),
    # piano, in F major; the sounding chords worked out from the written
    # notes by hand are F, B-flat, C and F major triads, whose fundamentals
    # are the root two octaves down (4:5:6) or the bass itself (F2 C4 A4 =
    # 1:3:5). The table spells them for F major. octaves.musicxml: the
    # clarinet goes from B-flat to A in measure 2, the tenor is written an
    # octave up (<octave-change>-1) and then at pitch, the basses are doubled
    # an octave down (<double/>).
    expect(table(s("transposing.musicxml")),
           [("measure 1 beat 1", "F3 A4 C5", "41"), ("measure 2 beat 1", "Bb2 D4 F4", "34"),
            ("measure 3 beat 1", "C3 E4 G4", "36"), ("measure 4 beat 1", "F2 C4 A4", "41")],
           "transposing parts")
    rc, out, _ = run("subtone", "--score", s("transposing.musicxml"), "--explain")
    check("partial 1: 46 (Bb2)" in out and "result: 34 (Bb1)" in out and "#" not in out,
          "--explain spells for F major: " + out[:400])
    rows = table(s("octaves.musicxml"))
    expect(rows, [("measure 1 beat 1", "C2 C3 G3 C5", "36"), ("measure 2 beat 1", "A1 A2 C#4 A4", "33")],
           "transposition changes, octave-change, double")
    same_bits(rows, "octaves")
    # The new part is at concert pitch, in the concert key: C, then D major
    # (the clarinet's written keys are D and F major).
    out = os.path.join(tmp, "octaves-out.musicxml")
    check(run("subtone", "--score", s("octaves.musicxml"), "-o", out)[0] == 0, "-o octaves")
    vf = ET.parse(out).getroot().find("part[@id='QZVF']")
    check([k.text for k in vf.iter("fifths")] == ["0", "2"] and vf.find(".//transpose") is None,
          f"-o octaves: concert keys {[k.text for k in vf.iter('fifths')]}")
    check([n for _, n, *_ in part_notes(ET.parse(out).getroot(), "QZVF")] == ["C2", "A1"],
          "-o octaves: the fundamentals at concert pitch")

    # MIDI: the chorale (tempo change, drum, sysex, running status).
    cm = os.path.join(tmp, "chorale.mid")
    open(cm, "wb").write(chorale_midi())
    rows = table(cm)
    expect(rows, [("0.000 s", "G3 B3 D4 G4", "31"), ("0.500 s", "C4 E4 G4 C5", "36"),
                  ("1.000 s", "D4 F#4 A4 D5", "38"), ("1.500 s", "G3 B3 D4 G4", "31"),
                  ("2.000 s", "C4", "60")], "chorale.mid")
    check(table(cm, "--parts", "Choir") == rows and table(cm, "--parts", "1") == [],
          "--parts by track name and number")
    bm = os.path.join(tmp, "bend.mid")
    open(bm, "wb").write(bend_midi())
    rows = table(bm)
    expect(rows, [("0.000 s", "C#4-50c F4-50c G#4-50c", "36.5"), ("0.500 s", "C4", "60"),
                  ("1.000 s", "C3", "48"), ("1.250 s", "C3", "48")], "bend.mid")
    same_bits(rows, "bend.mid")

    # --lyrics cents: from the written note (the fundamental to the nearest
    # quarter tone) to the search's result before the box rounds it, the
    # midpoint --explain prints: 36.5 and 35.5 are written as they are.
    import math
    _, out, _ = run("subtone", "--score", s("quarter.musicxml"), "--explain")
    mids = [float(l.split("midpoint ")[1].split()[0]) for l in out.splitlines() if "midpoint" in l]
    cents = ["%+.0f" % (1200 * math.log2(m / (440 * 2 ** ((w - 69) / 12))))
             for m, w in zip(mids, [36.5, 35.5])]
    check(len(cents) == 2 and all(c not in ("+0", "-0") for c in cents),
          f"--lyrics cents: the midpoints lie off the grid: {cents}")
    # --grid: the written fundamental is the midpoint --explain prints,
    # rounded to the semitone (quarter tone), with the tolerance unchanged;
    # its lyrics then lie within 50 (25) cents of it. Old Hundredth at 0.5
    # has 14 quarter-tone results written as the box sends them.
    _, out, _ = run("subtone", "--score", s("old100th.musicxml"), "--explain")
    mids = [1200 * math.log2(float(l.split("midpoint ")[1].split()[0]) / 440) / 100 + 69
            for l in out.splitlines() if "midpoint" in l]
    for grid, step in (("semitone", 1), ("quarter", 0.5)):
        o = os.path.join(tmp, f"grid_{grid}.musicxml")
        rc, _, err = run("subtone", "--score", s("old100th.musicxml"), "-o", o, "--grid", grid,
                         "--lyrics", "cents")
        root = ET.parse(o).getroot()
        pid = root.findall("part")[-1].get("id")
        notes = [n for n in part_notes(root, pid) if n[1] != "rest"]
        alters = {n[1][1:-1] for n in notes}
        lyrics = [int(n[5]) for n in notes]
        check(rc == 0 and all(abs(c) <= 50 * step + 0.5 for c in lyrics),
              f"--grid {grid}: exit {rc} {err}, cents {lyrics}")
        check((grid == "semitone") == all(a in ("", "1", "-1") for a in alters),
              f"--grid {grid}: alters {alters}")
    check(len(mids) > 14, f"old100th: {len(mids)} midpoints")
    check(run("subtone", "--score", s("old100th.musicxml"), "--grid", "semitone")[0] == 2,
          "--grid without -o is a usage error")

    # -o MusicXML: the input's parts unchanged, the new part as worked out.
    for name, extra, want_name, want in [
        # C4 sounds alone across the barline: a rest (its fundamental is
        # itself).
        ("ties", [], "Virtual fundamental",
         [("1", "C2", 4, "", None, None), ("1", "rest", 2, "", None, None),
          ("2", "rest", 2, "", None, None), ("2", "G2", 4, "", None, None)]),
        ("ties", ["--octave", "-1", "--lyrics", "hz"], "Virtual fundamental (-1 octave)",
         [("1", "C1", 4, "", None, "65.4"), ("1", "rest", 2, "", None, None),
          ("2", "rest", 2, "", None, None), ("2", "G1", 4, "", None, "98.0")]),
        ("quarter", ["--lyrics", "cents"], "Virtual fundamental",
         [("1", "C0.52", 8, "", "quarter-sharp", cents[0]), ("2", "C-0.52", 8, "", "quarter-flat", cents[1])]),
        ("unisons", [], "Virtual fundamental",
         [("1", "rest", 1, "", None, None), ("1", "C3", 1, "", None, None),
          ("1", "rest", 1, "", None, None), ("1", "rest", 1, "", None, None)]),
        ("unisons", ["--approx", "0"], "Virtual fundamental", [("1", "rest", 1, "", None, None)] * 4),
    ]:
        src, out = s(name + ".musicxml"), os.path.join(tmp, name + "-out.musicxml")
        rc, _, err = run("subtone", "--score", src, "-o", out, *extra)
        check(rc == 0, f"-o {name}: {err}")
        a, b = ET.parse(src).getroot(), ET.parse(out).getroot()
        for p in a.findall("part"):
            check(ET.tostring(p) == ET.tostring(b.find(f"part[@id='{p.get('id')}']")),
                  f"-o {name}: part {p.get('id')} changed")
        sp = b.findall("part-list/score-part")[-1]
        check(sp.findtext("part-name") == want_name, f"-o {name}: part name {sp.findtext('part-name')}")
        got = part_notes(b, sp.get("id"))
        check(got == want, f"-o {name} {extra}:\n  got  {got}\n  want {want}")
        check(len(b.findall(f"part[@id='{sp.get('id')}']/measure")) == len(a.find("part").findall("measure")),
              f"-o {name}: as many measures")
        check(written_durations_agree(b, sp.get("id")) == [],
              f"-o {name}: durations and types: {written_durations_agree(b, sp.get('id'))}")
        # qz reads its own output: the new part's notes are the fundamentals.
        if not extra:
            f0 = [r[3] for r in table(src) if r[3] != "-inf" and len(r[1]) > 1]
            back = [r[1][0] for r in table(out, "--parts", want_name)]
            check([repr(name_midi(n)).replace(".0", "") for n in back] == f0,
                  f"-o {name}: read back {back} vs {f0}")

    # The clef suits the fundamentals' range (the chorale's lie from G1 to
    # D2: the bass clef an octave down; with --octave 1 the bass clef), and
    # the score's time-signature symbol is kept.
    common = os.path.join(tmp, "common.musicxml")
    open(common, "w").write(open(s("chorale.musicxml")).read().replace("<time>", '<time symbol="common">'))
    for extra, want in (([], ("F", "4", "-1")), (["--octave", "1"], ("F", "4", None))):
        out = os.path.join(tmp, "common-out.musicxml")
        run("subtone", "--score", common, "-o", out, *extra)
        vf = ET.parse(out).getroot().find("part[@id='QZVF']")
        clef = (vf.findtext(".//clef/sign"), vf.findtext(".//clef/line"), vf.findtext(".//clef/clef-octave-change"))
        check(clef == want and vf.find(".//time").get("symbol") == "common",
              f"-o {extra}: clef {clef}, time {vf.find('.//time').attrib}")

    # Tuplets: triplet eighths, quintuplet 16ths, and a triplet within a
    # quintuplet (15ths of a beat) are written as tuplets whose types agree
    # with their durations; the plain beats stay plain.
    out = os.path.join(tmp, "tuplets-out.musicxml")
    check(run("subtone", "--score", s("tuplets.musicxml"), "-o", out)[0] == 0, "-o tuplets")
    root = ET.parse(out).getroot()
    check(written_durations_agree(root, "QZVF") == [], f"-o tuplets: {written_durations_agree(root, 'QZVF')}")
    ratios = [[(n.findtext("time-modification/actual-notes"), n.findtext("time-modification/normal-notes"))
               for n in m.findall("note")] for m in root.find("part[@id='QZVF']").findall("measure")]
    check(ratios == [[("3", "2")] * 3 + [(None, None)] * 2, [("5", "4")] * 5 + [(None, None)],
                     [("15", "8")] * 7 + [(None, None)]], f"-o tuplets: ratios {ratios}")
    starts = [len(m.findall("note/notations/tuplet[@type='start']")) for m in root.find("part[@id='QZVF']")]
    check(starts == [1, 1, 1], f"-o tuplets: one bracket a beat {starts}")

    # -o OUT.mid from MusicXML: a tempo track, then each part's notes at
    # concert pitch (quarter tones bent), then the fundamentals. The chorale
    # is at 120 until <sound tempo="60"/> on measure 2 (2 s in): its five
    # chords start at 0, 0.5, 1, 1.5 and 2 s, worked out by hand.
    slow = os.path.join(tmp, "tempo.musicxml")
    open(slow, "w").write(open(s("chorale.musicxml")).read().replace(
        '<measure number="2">', '<measure number="2"><direction><sound tempo="60"/></direction>', 1))
    # Two voices of one part share C4 for a beat, then one holds it: the
    # part's track sounds the key from the first start to the last end.
    voices = os.path.join(tmp, "voices.musicxml")
    note = lambda st, o, d, v: (f"<note><pitch><step>{st}</step><octave>{o}</octave></pitch>"
                                f"<duration>{d}</duration><voice>{v}</voice></note>")
    open(voices, "w").write(
        "<score-partwise><part-list><score-part id='P1'><part-name>Piano</part-name></score-part>"
        "</part-list><part id='P1'><measure number='1'><attributes><divisions>1</divisions></attributes>"
        + note("C", 4, 2, 1) + note("E", 4, 2, 1) + "<backup><duration>4</duration></backup>"
        + note("C", 4, 1, 2) + note("G", 3, 3, 2) + "</measure></part></score-partwise>")
    for name, src in (("tempo", slow), ("transposing", s("transposing.musicxml")),
                      ("quarter", s("quarter.musicxml")), ("voices", voices)):
        out = os.path.join(tmp, name + "-xml.mid")
        rc, _, err = run("subtone", "--score", src, "-o", out)
        check(rc == 0, f"-o {name}.mid from MusicXML: {err}")
        n = len(ET.parse(src).getroot().findall("part"))
        fmt, tr = midi_tracks(open(out, "rb").read())
        check(fmt == 1 and len(tr) == n + 2, f"-o {name}.mid: format {fmt}, {len(tr)} tracks")
        want = table(src)
        parts = ",".join(str(i + 2) for i in range(n))
        got = table(out, "--parts", parts)
        check([(c, v) for _, c, _, v in got] == [(c, v) for _, c, _, v in want],
              f"-o {name}.mid: its parts' chords\n  got  {got}\n  want {want}")
        check([r[3] for r in table(out, "--parts", str(n + 2))] == [r[3] for r in want if r[3] != "-inf"],
              f"-o {name}.mid: the fundamentals' track")
        if name == "tempo":
            check([r[0] for r in got] == ["0.000 s", "0.500 s", "1.000 s", "1.500 s", "2.000 s"],
                  f"-o tempo.mid: times {[r[0] for r in got]}")
    # -o OUT.mxl: the same score as -o OUT.musicxml, zipped, its mimetype
    # first and stored.
    for name in ("transposing", "tuplets"):
        mxl, plain = os.path.join(tmp, name + "-out.mxl"), os.path.join(tmp, name + "-plain.musicxml")
        check(run("subtone", "--score", s(name + ".musicxml"), "-o", mxl)[0] == 0 and
              run("subtone", "--score", s(name + ".musicxml"), "-o", plain)[0] == 0, f"-o {name}.mxl")
        with zipfile.ZipFile(mxl) as z:
            first = z.infolist()[0]
            check(first.filename == "mimetype" and first.compress_type == zipfile.ZIP_STORED and
                  z.read("score.musicxml") == open(plain, "rb").read(), f"-o {name}.mxl: {z.namelist()}")

    # -o MIDI: one track more on a free channel, RPN 0, bends.
    out = os.path.join(tmp, "bend-out.mid")
    rc, _, err = run("subtone", "--score", bm, "-o", out)
    check(rc == 0, "-o bend.mid: " + err)
    fmt, tr = midi_tracks(open(out, "rb").read())
    _, orig = midi_tracks(bend_midi())
    check(fmt == 1 and len(tr) == 2 and tr[0] == orig[0], "-o .mid: format 1, input track kept")
    last = tr[-1]
    chans = {st & 15 for _, st, _ in last if st < 0xF0}
    check(chans == {2}, f"-o .mid: the first free channel (2), got {chans}")
    ch = [(t, st & 0xF0, tuple(d)) for t, st, d in last if st < 0xF0]
    check(ch[:6] == [(0, 0xC0, (32,)), (0, 0xB0, (101, 0)), (0, 0xB0, (100, 0)), (0, 0xB0, (6, 2)),
                     (0, 0xB0, (38, 0)), (0, 0xB0, (101, 127))], f"-o .mid: RPN 0 = 2 semitones: {ch[:6]}")
    # 36.5 = key 37 bent down half a semitone: 8192 - 2048 = 6144 (0x00, 0x30).
    notes = [e for e in ch[7:]]
    want = [(0, 0xE0, (0, 0x30)), (0, 0x90, (37, 80)), (480, 0x80, (37, 0)), (480, 0xE0, (0, 0x40)),
            (480, 0x90, (60, 80)), (960, 0x80, (60, 0)), (960, 0x90, (48, 80)), (1200, 0x80, (48, 0)),
            (1200, 0x90, (48, 80)), (1440, 0x80, (48, 0))]
    check(notes == want, f"-o .mid notes:\n  got  {notes}\n  want {want}")
    check(table(out, "--parts", "2") == [("0.000 s", ["C#2-50c"], "C#2-50c", "36.5"),
                                         ("0.500 s", ["C4"], "C4", "60"), ("1.000 s", ["C3"], "C3", "48"),
                                         ("1.250 s", ["C3"], "C3", "48")], "-o .mid read back")

    # Bad input: one line "qz subtone: FILE: POSITION: WHAT", exit 1.
    bad = {
        "malformed.musicxml": b"<score-partwise><part-list></part-list><part id='P1'><measure>",
        "nodivisions.musicxml": b"<score-partwise><part id='P1'><measure number='1'><note><pitch>"
                                b"<step>C</step><octave>4</octave></pitch><duration>1</duration></note>"
                                b"</measure></part></score-partwise>",
        "absurd.musicxml": b"<score-partwise><part id='P1'><measure number='1'><attributes><divisions>1"
                           b"</divisions></attributes><note><pitch><step>C</step><octave>4</octave>"
                           b"</pitch><duration>100000000000</duration></note></measure></part></score-partwise>",
        "parts.musicxml": b"<score-partwise>" + b"<part id='P'><measure number='1'/></part>" * 3000
                          + b"</score-partwise>",
        "truncated.mid": chorale_midi()[:60],
        "nostatus.mid": smf(0, [b"MTrk\x00\x00\x00\x04\x00\x3c\x40\x00"]),
        "longvlq.mid": smf(0, [b"MTrk\x00\x00\x00\x06\xff\xff\xff\xff\xff\x00"]),
        "format2.mid": smf(2, [track([])]),
        "empty.mxl": b"PK\x03\x04garbage",
        "junk.mid": b"junk",  # no MIDI header, no XML, no zip
    }
    for name, data in bad.items():
        path = os.path.join(tmp, name)
        open(path, "wb").write(data)
        rc, out, err = run("subtone", "--score", path)
        lines = err.splitlines()
        check(rc == 1 and out == "" and len(lines) == 1 and lines[0].startswith(f"qz subtone: {path}: "),
              f"bad input {name}: exit {rc}, stderr {err!r}")
    # A directory is named as every other command names it.
    rc, out, err = run("subtone", "--score", tmp)
    check(rc == 1 and err == f"qz subtone: cannot open '{tmp}': it is a directory\n",
          f"a directory as the score: exit {rc}, stderr {err!r}")
    # Options that need --score, and a MIDI file written as MusicXML.
    check(run("subtone", "--octave", "1", "60")[0] == 2, "--octave without --score is a usage error")
    for extra in (["--mode", "freq"], ["--echo"], ["--stats"], ["--names"], ["--a4", "442"]):
        check(run("subtone", "--score", cm, *extra)[0] == 2, f"{extra[0]} with --score is a usage error")
    # Every option that would do nothing with --score is a usage error.
    xml, x = s("chorale.musicxml"), lambda f: os.path.join(tmp, f)
    for args in (["--score", xml, "--octave", "1"], ["--score", xml, "--lyrics", "hz"],
                 ["--score", xml, "-o", x("a.musicxml"), "--explain"],
                 ["--score", xml, "-o", x("a.musicxml"), "--digits", "3"],
                 ["--score", cm, "-o", x("a.mid"), "--lyrics", "cents"],
                 ["--score", cm, "-o", x("a.musicxml")], ["--score", cm, "-o", x("a.mxl")],
                 ["--score", xml, "-o", x("a.mid"), "--lyrics", "hz"],
                 ["--score", xml, "-o", x("a.txt")], ["--score", xml, "-o", x("a")],
                 ["--score", xml, "--merge", "10"], ["--score", cm, "--merge", "-1"]):
        rc, out, err = run("subtone", *args)
        check(rc == 2 and out == "" and not any(os.path.exists(x(f)) for f in ("a.musicxml", "a.mid", "a.mxl")),
              f"{args[2:]}: exit {rc} (want 2), {err!r}")

    # --alternatives in the table: after each chord, the box's hearing and
    # the lower ones, as qz subtone --mode midi --alternatives prints them
    # for the same pitches (the flat key's names aside); not with -o.
    rc, out, err = run("subtone", "--score", xml, "--alternatives", "2")
    chords = [l for l in out.splitlines() if not l.startswith("  ")]
    boxes = [l for l in out.splitlines() if l.startswith("  box: ")]
    check(rc == 0 and len(chords) == len(table(xml)) and len(boxes) == len(chords),
          f"--alternatives: {len(boxes)} box lines for {len(chords)} chords, exit {rc}: {err}")
    first = out.splitlines()[1:3]
    rc, direct, _ = run("subtone", "--mode", "midi", "--alternatives", "2", "G3", "B3", "D4", "G4")
    check(first == direct.splitlines()[1:3], f"--alternatives of G3 B3 D4 G4: {first} vs {direct!r}")
    check(run("subtone", "--score", xml, "--alternatives", "2", "-o", x("a.musicxml"))[0] == 2,
          "--alternatives with -o is a usage error")

    # A played MIDI file: the chorale's chords with their notes starting up
    # to 12 ticks (12.5 ms at 120 bpm) late and ending 5 ticks early or 4
    # late. With the default --merge (20 ms) its chords are the chorale's
    # own; --merge 0 reads every tick, and finds the gaps' and overlaps'
    # chords; --merge 10 keeps the 12.5 ms spread apart.
    played = os.path.join(tmp, "played.mid")
    open(played, "wb").write(played_midi())
    want = table(cm)
    check(table(played) == want, f"played.mid: {table(played)}")
    check(len(table(played, "--merge", "0")) > len(want) and len(table(played, "--merge", "10")) > len(want),
          "played.mid: --merge 0 and 10 find more chords")


def musescore(tmp):
    ms = shutil.which("mscore3") or shutil.which("musescore3") or shutil.which("mscore")
    if not ms:
        print("QZ-SKIP: MuseScore 3 (mscore3) is not installed")
        sys.exit(77)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    def mscore(out, src):
        p = subprocess.run([ms, "-o", out, src], capture_output=True, text=True, env=env, timeout=300)
        check(p.returncode == 0, f"mscore3 -o {out} {src}: {p.returncode} {p.stderr[-500:]}")

    for name in ["chorale", "ties", "quarter", "unisons", "tuplets", "old100th"]:
        src = os.path.join(HERE, name + ".musicxml")
        ours = os.path.join(tmp, name + "-vf.musicxml")
        rc, _, err = run("subtone", "--score", src, "-o", ours)
        check(rc == 0, f"{name}: {err}")
        png = os.path.join(tmp, name + ".png")
        mscore(png, ours)
        pages = glob.glob(os.path.join(tmp, name + "*.png"))
        check(pages and all(os.path.getsize(p) > 1000 for p in pages), f"{name}: MuseScore's PNG")
        back = os.path.join(tmp, name + "-back.musicxml")
        mscore(back, ours)
        n = len(ET.parse(src).getroot().findall("part"))
        keep = ",".join(str(i + 1) for i in range(n))
        want = [(r[1], r[3]) for r in table(src)]
        got = [(r[1], r[3]) for r in table(back, "--parts", keep)]
        check(got == want, f"{name}: MuseScore's export read back:\n  got  {got}\n  want {want}")
        # Each fundamental where qz wrote it: same time, same pitch.
        vf = [(r[0], r[1][0]) for r in table(back, "--parts", str(n + 1))]
        check(vf == [(r[0], r[2]) for r in table(src) if r[3] != "-inf" and len(r[1]) > 1],
              f"{name}: MuseScore's fundamental staff {vf}")
    # Transposing parts: MuseScore's re-export writes the clarinet and the
    # horn at written pitch with its own <transpose>, and its MIDI export
    # sounds them at concert pitch; both give the fundamentals of the hand-
    # written score. (MuseScore 3 writes MusicXML at written pitch even in
    # concert-pitch mode, and keeps one <transpose> per part, so
    # octaves.musicxml's changes are checked by hand in the cli tests.)
    src = os.path.join(HERE, "transposing.musicxml")
    back = os.path.join(tmp, "transposing-back.musicxml")
    mscore(back, src)
    check(len(ET.parse(back).getroot().findall(".//transpose")) == 2, "MuseScore writes <transpose>")
    check([r[3] for r in table(back)] == [r[3] for r in table(src)],
          f"transposing: MuseScore's MusicXML export: {table(back)}")

    # MIDI as MuseScore exports it: every note ends a tick early. With the
    # default --merge its chords and fundamentals are exactly those of the
    # MusicXML it came from, for the table and for -o; passing.musicxml's
    # voices move apart, so --merge 0 finds the gaps' chords there.
    # (quarter.musicxml is left out: MuseScore plays quarter tones at the
    # nearest semitone.)
    for name in ["chorale", "ties", "unisons", "transposing", "passing", "tuplets", "old100th"]:
        src, mid = os.path.join(HERE, name + ".musicxml"), os.path.join(tmp, name + "-ms.mid")
        mscore(mid, src)
        want = [(r[1], r[3]) for r in table(src)]
        got = [(r[1], r[3]) for r in table(mid)]
        check([v for _, v in got] == [v for _, v in want] and
              [[name_midi(n) for n in c] for c, _ in got] == [[name_midi(n) for n in c] for c, _ in want],
              f"{name}: MuseScore's MIDI export:\n  got  {got}\n  want {want}")
        out = os.path.join(tmp, name + "-ms-vf.mid")
        rc, _, err = run("subtone", "--score", mid, "-o", out)
        ntracks = len(midi_tracks(open(out, "rb").read())[1]) if rc == 0 else 0
        vf = [r[3] for r in table(out, "--parts", str(ntracks))] if rc == 0 else None
        check(vf == [v for _, v in want if v != "-inf"], f"{name}: -o {out}: {err} {vf}")
        if name == "passing":
            check(len(table(mid, "--merge", "0")) > len(want), "passing: MuseScore's gaps with --merge 0")

    # MuseScore opens what -o writes from MusicXML as MIDI and as .mxl, and
    # finds the same chords in the score's parts.
    for ext in (".mid", ".mxl"):
        src, ours = os.path.join(HERE, "transposing.musicxml"), os.path.join(tmp, "transposing-qz" + ext)
        check(run("subtone", "--score", src, "-o", ours)[0] == 0, f"-o {ours}")
        back = os.path.join(tmp, "transposing-qz" + ext + ".musicxml")
        mscore(back, ours)
        got = [(r[1], r[3]) for r in table(back, "--parts", "1,2,3")]
        check([[name_midi(n) for n in c] for c, _ in got] ==
              [[name_midi(n) for n in c] for _, c, _, _ in table(src)], f"MuseScore opens {ours}: {got}")

    # The fundamentals of a sound's segments (-o after --audio --segments):
    # two chords sox makes, 200 250 300 Hz (harmonics 4 to 6 of 50 Hz, MIDI
    # 31.35) and 300 375 450 Hz (of 75 Hz, MIDI 38.37), 1 s each. MuseScore
    # opens the MusicXML (quarter tones: 31.5 and 38.5, its tempo kept) and
    # the MIDI file (the nearest keys: 31 and 38).
    wav = os.path.join(tmp, "two-chords.wav")
    p = subprocess.run(["sox", "-R", "-n", "-r", "44100", "-c", "1", "-b", "16", wav,
                        "synth", "1", "sine", "200", "sine", "250", "sine", "300", "remix", "-",
                        "vol", "0.8", ":", "synth", "1", "sine", "300", "sine", "375", "sine", "450",
                        "remix", "-", "vol", "0.8"], capture_output=True, text=True)
    check(p.returncode == 0, f"sox: {p.stderr}")
    for ext, want in ((".musicxml", [31.5, 38.5]), (".mid", [31, 38])):
        ours = os.path.join(tmp, "two-chords-vf" + ext)
        rc, _, err = run("subtone", "--audio", wav, "--segments", "--onset-threshold", "0.3",
                         "-o", ours)
        check(rc == 0, f"--audio --segments -o {ours}: {err}")
        back = os.path.join(tmp, "two-chords-vf" + ext + ".musicxml")
        mscore(back, ours)
        got = [name_midi(n) for r in table(back) for n in r[1]]
        check(got == want, f"MuseScore opens {ours}: {got}, want {want}")
        if ext == ".musicxml":
            check('tempo="60"' in open(back).read(), f"{back}: the tempo of 60")

    demos = sorted(glob.glob("/usr/share/mscore3*/demos/*.mscz"))
    check(demos, "MuseScore's demo scores")
    for d in demos:
        base = os.path.join(tmp, os.path.basename(d)[:-5])
        for ext in (".musicxml", ".mid"):
            mscore(base + ext, d)
            rc, out, err = run("subtone", "--score", base + ext)
            check(rc == 0 and out.count("\n") > 10, f"{d} as {ext}: exit {rc}, {err[-300:]}")
            rc, _, err = run("subtone", "--score", base + ext, "-o", base + "-vf" + ext)
            check(rc == 0, f"{d} as {ext} -o: {err[-300:]}")
        mscore(base + "-vf.png", base + "-vf.musicxml")


def seeds(_):
    d = sys.argv[3]
    open(os.path.join(d, "chorale.mid"), "wb").write(chorale_midi())
    open(os.path.join(d, "bend.mid"), "wb").write(bend_midi())
    open(os.path.join(d, "played.mid"), "wb").write(played_midi())


with tempfile.TemporaryDirectory() as tmp:
    {"cli": cli, "musescore": musescore, "seeds": seeds}[sys.argv[2]](tmp)
if failures:
    print(f"{len(failures)} failure(s)")
    sys.exit(1)
print("ok")
