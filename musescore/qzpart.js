// Reads the part that `qz subtone --score ... -o OUT.musicxml` adds to a
// score (part id QZVF, one voice, written by qz itself) into sounding notes
// and rests in MuseScore ticks. Notes joined by ties become one note, which
// MuseScore splits again at its own barlines as it enters it.
.pragma library

var STEPS = { C: 0, D: 2, E: 4, F: 5, G: 7, A: 9, B: 11 };
// Tonal pitch classes of the natural steps (MuseScore's tpc: C is 14, each
// fifth up one more, each sharp seven more).
var TPC = { F: 13, C: 14, G: 15, D: 16, A: 17, E: 18, B: 19 };

function text(xml, tag) {
    var m = new RegExp("<" + tag + "(?:\\s[^>]*)?>([^<]*)</" + tag + ">").exec(xml);
    return m ? m[1] : null;
}

function unescape(s) {
    return s.replace(/&lt;/g, "<").replace(/&gt;/g, ">").replace(/&quot;/g, "\"")
            .replace(/&apos;/g, "'").replace(/&amp;/g, "&");
}

// {name, events: [{tick, ticks, rest, pitch, tpc, quarter, lyric}]} or
// {error}; quarter is the alteration in semitones (±0.5, ±1.5) that the
// pitch leaves out. ticksPerQuarter is MuseScore's division (480).
function read(xml, ticksPerQuarter) {
    var head = /<score-part id="QZVF">\s*<part-name>([^<]*)<\/part-name>/.exec(xml);
    var start = xml.indexOf("<part id=\"QZVF\">");
    if (!head || start < 0)
        return { error: "qz wrote no part of fundamentals" };
    var body = xml.substring(start, xml.indexOf("</part>", start));
    var events = [], divisions = 0, time = 0, tied = false;
    var re = /<divisions>(\d+)<\/divisions>|<note>([\s\S]*?)<\/note>/g, m;
    while ((m = re.exec(body)) !== null) {
        if (m[1] !== undefined) {
            divisions = parseInt(m[1], 10);
            continue;
        }
        var note = m[2];
        if (!divisions)
            return { error: "qz's part has a duration before its divisions" };
        if (note.indexOf("<time-modification>") >= 0)
            return { error: "the fundamentals fall in tuplets, which MuseScore 3.2's plugins cannot enter" };
        var dur = parseInt(text(note, "duration"), 10) * ticksPerQuarter;
        if (dur % divisions || (time * ticksPerQuarter) % divisions)
            return { error: "a fundamental falls between MuseScore's ticks" };
        var tick = time * ticksPerQuarter / divisions, ticks = dur / divisions;
        time += parseInt(text(note, "duration"), 10);
        if (tied && events.length && note.indexOf("<rest") < 0) {
            events[events.length - 1].ticks += ticks;
        } else if (note.indexOf("<rest") >= 0) {
            events.push({ tick: tick, ticks: ticks, rest: true });
        } else {
            var step = text(note, "step"), alter = parseFloat(text(note, "alter") || "0");
            // MuseScore keeps a quarter tone as its natural step with a
            // quarter-tone accidental (as its MusicXML reader does: D three
            // quarters sharp is a D with that accidental), and sounds it
            // through the note's tuning.
            var semis = alter === Math.round(alter) ? alter : 0;
            events.push({ tick: tick, ticks: ticks, rest: false,
                          pitch: 12 * (parseInt(text(note, "octave"), 10) + 1) + STEPS[step] + semis,
                          tpc: TPC[step] + 7 * semis, quarter: alter - semis,
                          lyric: text(note, "text") === null ? "" : unescape(text(note, "text")) });
        }
        tied = /<tie type="start"\/>/.test(note);
    }
    return { name: unescape(head[1]), events: events };
}
