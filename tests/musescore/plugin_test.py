#!/usr/bin/env python3
"""The MuseScore 3 plugin musescore/qz-virtual-fundamental.qml, run headless
in its batch mode by MuseScore itself (mscore3 -p), against qz.

  plugin_test.py QZ PLUGIN   (exit 77: skipped when mscore3 is missing)

Each score is given to MuseScore with an empty last part, as a user makes
one for the fundamentals: `qz subtone --score S -o REF` with the notes of
its added part turned into rests. The plugin writes the score as MuseScore
sees it, runs qz on it and enters the part qz adds; MuseScore saves that
with writeScore and exports it to MusicXML. The expected notes are those
of REF's added part, the part qz itself writes for the same score: the
two must agree note by note (sounding pitch, onset and duration in
quarter notes, tied notes joined, and the lyrics).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from fractions import Fraction

HERE = os.path.dirname(os.path.abspath(__file__))
SCORES = os.path.join(HERE, "..", "score")
QZ, PLUGIN = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
STEPS = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def sounding(root, pid):
    """The notes of part `pid` as (onset, duration, MIDI pitch, lyric), in
    quarter notes, tied notes joined; and the words of its directions."""
    notes, time, div, tied = [], Fraction(0), None, False
    for m in root.find(f"part[@id='{pid}']").findall("measure"):
        for el in m:
            if el.tag == "attributes" and el.findtext("divisions"):
                div = int(el.findtext("divisions"))
            elif el.tag in ("backup", "forward"):
                time += (-1 if el.tag == "backup" else 1) * Fraction(int(el.findtext("duration")), div)
            elif el.tag == "note":
                d = Fraction(int(el.findtext("duration")), div)
                if el.find("rest") is None:
                    p = el.find("pitch")
                    midi = 12 * (int(p.findtext("octave")) + 1) + STEPS[p.findtext("step")] + \
                        float(p.findtext("alter") or 0)
                    if tied and notes and notes[-1][2] == midi and notes[-1][0] + notes[-1][1] == time:
                        notes[-1] = (notes[-1][0], notes[-1][1] + d, midi, notes[-1][3])
                    else:
                        notes.append((time, d, midi, el.findtext("lyric/text")))
                    tied = any(t.get("type") == "start" for t in el.findall("tie"))
                time += d
    words = [w.text for w in root.find(f"part[@id='{pid}']").iter("words")]
    return notes, words


def last_part(path):
    root = ET.parse(path).getroot()
    return root, root.findall("part")[-1].get("id")


def with_empty_part(ref, out):
    """REF with the notes of qz's part turned into rests of their length."""
    t = open(ref, encoding="utf-8").read()
    t = re.sub(r'<part id="QZVF">.*?</part>',
               lambda m: re.sub(r'<note>.*?(<duration>\d+</duration>).*?</note>',
                                r'<note><rest/>\1<voice>1</voice></note>', m.group(0)),
               t, flags=re.S)
    open(out, "w", encoding="utf-8").write(t)


def main(tmp):
    ms = shutil.which("mscore3") or shutil.which("musescore3")
    if not ms:
        print("QZ-SKIP: MuseScore 3 (mscore3) is not installed")
        sys.exit(77)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    def plugin(src, saved, qz=QZ, options="", timeout=None, selection=False, actions="", then=""):
        e = dict(env, QZ_MUSESCORE_BATCH=saved, QZ_MUSESCORE_QZ=qz, QZ_MUSESCORE_OPTIONS=options,
                 QZ_MUSESCORE_RANGE="selection" if selection else "score", QZ_MUSESCORE_ACTIONS=actions,
                 QZ_MUSESCORE_THEN=then)
        if timeout:
            e["QZ_MUSESCORE_TIMEOUT"] = str(timeout)
        p = subprocess.run([ms, "-p", PLUGIN, src], capture_output=True, text=True, env=e, timeout=300)
        errors = [l.split("qz-virtual-fundamental: error: ", 1)[1]
                  for l in p.stderr.splitlines() if "qz-virtual-fundamental: error: " in l]
        return p.returncode, errors

    def export(src, out):
        p = subprocess.run([ms, "-o", out, src], capture_output=True, text=True, env=env, timeout=300)
        check(p.returncode == 0 and os.path.exists(out), f"mscore3 -o {out}: {p.stderr[-300:]}")
        return out

    # The chorale, ties across barlines (held.musicxml also holds a chord
    # for five eighths, which takes a tie inside the measure), quarter tones
    # (and three quarters sharp in Old Hundredth), and a transposing clarinet
    # and horn, with options through QZ_MUSESCORE_OPTIONS.
    cases = [("chorale", os.path.join(SCORES, "chorale.musicxml"), ["--lyrics", "hz"]),
             ("ties", os.path.join(SCORES, "ties.musicxml"), []),
             ("held", os.path.join(HERE, "held.musicxml"), ["--octave", "1"]),
             ("quarter", os.path.join(SCORES, "quarter.musicxml"), ["--lyrics", "cents"]),
             ("transposing", os.path.join(SCORES, "transposing.musicxml"), ["--approx", "1", "--lyrics", "hz"]),
             ("old100th", os.path.join(SCORES, "old100th.musicxml"), []),
             ("old100th-semitones", os.path.join(SCORES, "old100th.musicxml"),
              ["--grid", "semitone", "--lyrics", "cents"])]
    for name, score, opts in cases:
        ref, src = os.path.join(tmp, name + "-qz.musicxml"), os.path.join(tmp, name + "-in.musicxml")
        p = subprocess.run([QZ, "subtone", "--score", score, "-o", ref, *opts], capture_output=True, text=True)
        check(p.returncode == 0, f"{name}: qz -o: {p.stderr}")
        with_empty_part(ref, src)
        saved = os.path.join(tmp, name + "-plugin.mscx")
        rc, errors = plugin(src, saved, options=" ".join(opts))
        check(rc == 0 and not errors, f"{name}: the plugin: exit {rc}, {errors}")
        root, pid = last_part(export(saved, os.path.join(tmp, name + "-plugin.musicxml")))
        got, words = sounding(root, pid)
        want, _ = sounding(*last_part(ref))
        check(got == want and len(want) > 1, f"{name}: the plugin's part\n  got  {got}\n  want {want}")
        # qz's name for the part, as the staff text at its first note.
        part_name = ET.parse(ref).getroot().findtext("part-list/score-part[@id='QZVF']/part-name")
        check(words[:1] == [part_name], f"{name}: the part's name {words} ({part_name})")
        # The other parts as they were: the same sounding notes.
        n = len(root.findall("part"))
        before = ET.parse(export(src, os.path.join(tmp, name + "-in-ms.musicxml"))).getroot()
        check([sounding(before, p.get("id"))[0] for p in before.findall("part")[:n - 1]] ==
              [sounding(root, p.get("id"))[0] for p in root.findall("part")[:n - 1]],
              f"{name}: the score's own parts changed")

    # The selected measures: Old Hundredth (4/4, half notes), selected from
    # its first measure's second chord in the soprano to the end of the
    # third measure in the alto. The chords are those of the soprano and
    # alto alone (qz --parts 1,2), and the fundamentals fill the first
    # three measures whole (quarter notes 0 to 12) and nothing else.
    old, src = os.path.join(SCORES, "old100th.musicxml"), os.path.join(tmp, "old100th-in.musicxml")
    ref12 = os.path.join(tmp, "old100th-12.musicxml")
    subprocess.run([QZ, "subtone", "--score", old, "--parts", "1,2", "-o", ref12], check=True)
    saved = os.path.join(tmp, "old100th-sel.mscx")
    rc, errors = plugin(src, saved, selection=True, actions="first-element next-chord next-chord "
                        "select-next-measure select-next-measure select-next-measure select-staff-below")
    check(rc == 0 and not errors, f"selection: {errors}")
    got = sounding(*last_part(export(saved, os.path.join(tmp, "old100th-sel.musicxml"))))[0]
    want = [(on, min(on + d, 12) - on, p, l) for on, d, p, l in sounding(*last_part(ref12))[0] if on < 12]
    check(got == want and len(want) > 3, f"selection:\n  got  {got}\n  want {want}")

    # Undo: one step takes the whole part back in ties.musicxml; held.musicxml
    # has one tie inside a measure, made by MuseScore's tie command, which
    # ends the plugin's command: two steps (LATER: one).
    for name, undos in (("ties", "undo"), ("held", "undo undo")):
        src, saved = os.path.join(tmp, name + "-in.musicxml"), os.path.join(tmp, name + "-undo.mscx")
        rc, errors = plugin(src, saved, then=undos)
        got = ET.parse(export(saved, os.path.join(tmp, name + "-undo.musicxml"))).getroot()
        want = ET.parse(os.path.join(tmp, name + "-in-ms.musicxml")).getroot()
        check(not errors and [sounding(got, p.get("id")) for p in got.findall("part")] ==
              [sounding(want, p.get("id")) for p in want.findall("part")], f"{name}: {undos} leaves {errors}")

    # --octave auto: the chorale's fundamentals are G1 C2 D2 G1 G1 (its table
    # in docs/score.md), their median G1; two octaves up, G3, is 5 semitones
    # from D3, the bass staff's middle line, one octave up (G2) 7: the part
    # of qz -o --octave 2, named so.
    ref = os.path.join(tmp, "chorale-qz+2.musicxml")
    subprocess.run([QZ, "subtone", "--score", os.path.join(SCORES, "chorale.musicxml"), "-o", ref,
                    "--octave", "2"], check=True)
    saved = os.path.join(tmp, "chorale-auto.mscx")
    rc, errors = plugin(os.path.join(tmp, "chorale-in.musicxml"), saved, options="--octave auto")
    got, words = sounding(*last_part(export(saved, os.path.join(tmp, "chorale-auto.musicxml"))))
    check(not errors and got == sounding(*last_part(ref))[0] and words[:1] == ["Virtual fundamental (+2 octaves)"],
          f"--octave auto: {errors} {got} {words}")

    # The plugin as scripts/package-musescore.sh ships it, with a link to
    # qz beside it: found there without QZ_MUSESCORE_QZ, with no qz on PATH.
    pkg = os.path.join(tmp, "pkg")
    subprocess.run(["sh", os.path.join(HERE, "..", "..", "scripts", "package-musescore.sh"), pkg], check=True)
    os.symlink(QZ, os.path.join(pkg, "qz"))
    saved = os.path.join(tmp, "pkg.mscx")
    e = dict(env, QZ_MUSESCORE_BATCH=saved, PATH="/usr/bin:/bin")
    e.pop("QZ_MUSESCORE_QZ", None)
    check(not shutil.which("qz", path=e["PATH"]), "a qz on /usr/bin:/bin")
    p = subprocess.run([ms, "-p", os.path.join(pkg, "qz-virtual-fundamental.qml"),
                        os.path.join(tmp, "ties-in.musicxml")], capture_output=True, text=True, env=e, timeout=300)
    check("error" not in p.stderr and os.path.exists(saved), f"the packaged plugin: {p.stderr[-300:]}")
    if os.path.exists(saved):
        got = sounding(*last_part(export(saved, os.path.join(tmp, "pkg.musicxml"))))[0]
        check(got == sounding(*last_part(os.path.join(tmp, "ties-qz.musicxml")))[0], f"the packaged plugin: {got}")

    # Errors: the message, and the score saved as it was (batch mode saves
    # it either way). qz missing, qz's own error text, a qz that does not
    # finish, the selection when nothing is selected (a score opened from
    # the command line has no selection), fundamentals in tuplets (which
    # MuseScore 3.2's plugins cannot enter), and a score without an empty
    # last part.
    src = os.path.join(tmp, "chorale-in.musicxml")
    hang = os.path.join(tmp, "hang.sh")
    open(hang, "w").write("#!/bin/sh\nsleep 30\n")
    os.chmod(hang, 0o755)
    tup_ref, tup_src = os.path.join(tmp, "tuplets-qz.musicxml"), os.path.join(tmp, "tuplets-in.musicxml")
    subprocess.run([QZ, "subtone", "--score", os.path.join(SCORES, "tuplets.musicxml"), "-o", tup_ref], check=True)
    with_empty_part(tup_ref, tup_src)
    bad = [("missing", src, dict(qz=os.path.join(tmp, "no such dir", "qz")), "qz is missing or not executable"),
           ("qz's error", src, dict(options="--approx banana"), "qz failed (exit 2): "),
           ("timeout", src, dict(qz=hang, timeout=1500), "qz did not finish within 1.5 s"),
           ("no selection", src, dict(selection=True), "nothing is selected"),
           ("tuplets", tup_src, {}, "the fundamentals fall in tuplets"),
           ("no empty part", os.path.join(SCORES, "chorale.musicxml"), {}, "add an empty one-staff part")]
    for what, score, kw, message in bad:
        saved = os.path.join(tmp, "bad.mscx")
        if os.path.exists(saved):
            os.remove(saved)
        rc, errors = plugin(score, saved, **kw)
        check(len(errors) == 1 and errors[0].startswith(message), f"{what}: {errors}, not '{message}...'")
        if what == "qz's error":
            check("banana" in errors[0], f"qz's own text: {errors}")
        got = ET.parse(export(saved, os.path.join(tmp, "bad.musicxml"))).getroot()
        want = ET.parse(export(score, os.path.join(tmp, "bad-in.musicxml"))).getroot()
        check([sounding(got, p.get("id")) for p in got.findall("part")] ==
              [sounding(want, p.get("id")) for p in want.findall("part")], f"{what}: the score changed")


with tempfile.TemporaryDirectory() as tmp:
    main(tmp)
if failures:
    print(f"{len(failures)} failure(s)")
    sys.exit(1)
print("ok")
