// Enters the part that qzpart.js reads into a staff of the open score,
// with what a plugin of MuseScore 3.2 can do: a cursor that walks
// segment by segment, notes of single note values, MuseScore's own
// splitting at barlines, and its actions (prev-chord, tie) where one value
// does not reach. `ms` is the plugin (curScore, division, newElement,
// removeElement, cmd, Element, Accidental).
.pragma library

// A cursor on the staff's chord or rest that starts at the tick, or
// null. MuseScore 3.2's plugins have no cursor to a tick; this one
// walks there segment by segment (after nextMeasure, addNote enters at
// the cursor's previous place).
function cursorAt(ms, staff, tick) {
    var c = ms.curScore.newCursor();
    c.staffIdx = staff;
    c.voice = 0;
    c.rewind(0);
    while (c.segment && c.tick < tick)
        c.next();
    return c.segment && c.tick === tick ? c : null;
}

// The longest note value (whole to 128th, up to three dots) that fits
// in the ticks: what Cursor.setDuration enters exactly (it takes any
// other length as a shorter value).
function longestValue(ms, ticks) {
    var best = 0;
    for (var v = ms.division * 4; v >= ms.division / 32; v /= 2)
        for (var dots = 0, d = v; dots <= 3; dots++, d += v / Math.pow(2, dots))
            if (d <= ticks && d > best && d === Math.floor(d))
                best = d;
    return best;
}

// The chords and rests of the staff that start in [from, to).
function elementsIn(ms, staff, from, to) {
    var c = cursorAt(ms, staff, from), out = [];
    for (; c && c.segment && c.tick < to; c.next())
        out.push({ tick: c.tick, element: c.element });
    return out;
}

// Enters one note or rest from the tick for the ticks, as the longest
// note values that fit; MuseScore splits each at its barlines and ties
// the parts. Where one value does not reach, the next one is tied on
// through the tie command: the last note entered is selected, so
// prev-chord, once per chord of the value, selects the one before it.
// The tie command ends the command it runs in; a new one is started
// after it. {pieces: [{tick, element}]} or {error}.
function enterValues(ms, staff, at, ticks, pitch, tie) {
    var pieces = [];
    while (ticks > 0) {
        var c = cursorAt(ms, staff, at), len = longestValue(ms, ticks);
        if (!c)
            return { error: "MuseScore has no place for a fundamental at tick " + at };
        if (!len)
            return { error: "a fundamental at tick " + at + " is shorter than MuseScore's shortest note" };
        c.setDuration(len, ms.division * 4);
        c.addNote(pitch);
        var made = elementsIn(ms, staff, at, at + len);
        if (pieces.length && tie) {
            for (var k = 0; k < made.length; k++)
                ms.cmd("prev-chord");
            ms.cmd("tie");
            ms.curScore.startCmd();
        }
        pieces = pieces.concat(made);
        at += len;
        ticks -= len;
    }
    return { pieces: pieces };
}

// Enters the fundamentals between the target's ticks into its staff,
// one after the other: each starts where the one before ends, so the
// staff has a rest there to enter it at. Rests go in as placeholder
// notes that are deleted afterwards (a plugin of MuseScore 3.2 cannot
// enter a rest).
function enter(ms, t, part) {
    var placeholders = [], first = true, added = 0;
    for (var i = 0; i < part.events.length; i++) {
        var e = part.events[i];
        var a = Math.max(e.tick, t.from), b = Math.min(e.tick + e.ticks, t.to);
        if (b <= a)
            continue;
        var r = enterValues(ms, t.staff, a, b - a, e.rest ? 60 : e.pitch, !e.rest);
        if (r.error)
            return r;
        if (e.rest) {
            placeholders = placeholders.concat(r.pieces.map(function (p) { return p.tick; }));
            continue;
        }
        for (var k = 0; k < r.pieces.length; k++) {
            var note = r.pieces[k].element.notes[0];
            var quarter = { "0.5": ms.Accidental.SHARP_SLASH, "1.5": ms.Accidental.SHARP_SLASH4,
                            "-0.5": ms.Accidental.MIRRORED_FLAT, "-1.5": ms.Accidental.MIRRORED_FLAT2 }[e.quarter];
            if (quarter !== undefined) {
                note.accidentalType = quarter;
                // Setting the accidental moves the pitch; put it back.
                note.pitch = e.pitch;
                note.tpc1 = e.tpc;
                note.tpc2 = e.tpc;
                note.tuning = e.quarter * 100;
            }
        }
        if (e.lyric) {
            var l = ms.newElement(ms.Element.LYRICS);
            l.text = e.lyric;
            r.pieces[0].element.add(l);
        }
        if (first) {
            var name = ms.newElement(ms.Element.STAFF_TEXT);
            name.text = part.name;
            cursorAt(ms, t.staff, a).add(name);
            first = false;
        }
        added++;
    }
    for (var j = 0; j < placeholders.length; j++)
        ms.removeElement(cursorAt(ms, t.staff, placeholders[j]).element.notes[0]);
    return { added: added };
}
