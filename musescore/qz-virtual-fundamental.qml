// Plugins > qz > Add virtual fundamental staff: writes the open score to a
// temporary MusicXML file, runs `qz subtone --score IN -o OUT` on it and
// enters the part qz adds into the score's last staff, which must be empty
// (MuseScore 3.2's plugins cannot add a part). One undo step takes it back,
// and one more for each tie inside a measure (MuseScore's tie command ends
// the plugin's command).
//
// Batch mode, for tests and scripts: with QZ_MUSESCORE_BATCH=PATH.mscx in
// the environment it runs without its dialog, with
//   QZ_MUSESCORE_OPTIONS  qz options, e.g. "--approx 0.5 --lyrics cents"
//                         ("--octave auto" as the dialog's automatic)
//   QZ_MUSESCORE_QZ       the qz to run (default: the qz beside the plugin,
//                         else qz on PATH)
//   QZ_MUSESCORE_RANGE    "selection": the selected measures, not the score
//   QZ_MUSESCORE_ACTIONS  MuseScore actions run first, e.g. "first-element
//                         next-chord select-next-measure" to select
//   QZ_MUSESCORE_THEN     MuseScore actions run after, e.g. "undo"
//   QZ_MUSESCORE_TIMEOUT  how long to wait for qz, in ms (default 60000)
// then saves the score to PATH.mscx with writeScore and quits. An error is
// printed on standard error as "qz-virtual-fundamental: error: ..."; the
// score is saved then too, unchanged, so that a script can see that it is.
import QtQuick 2.0
import QtQuick.Controls 1.4
import QtQuick.Layouts 1.1
import Qt.labs.settings 1.0
import MuseScore 3.0
import FileIO 3.0
import "qzpart.js" as QzPart
import "qzenter.js" as QzEnter

MuseScore {
    id: plugin
    menuPath: "Plugins.qz.Add virtual fundamental staff"
    version: "1.0"
    description: "Adds the virtual fundamental of every chord, computed by qz, in the empty last staff"
    pluginType: "dialog"
    requiresScore: true
    width: 460
    height: 300

    property bool windows: Qt.platform.os === "windows"
    property int exitCode: -1
    property int timeoutMs: 60000
    // The temporary files' prefix, its own per run of MuseScore: another
    // MuseScore running the plugin at the same time uses others.
    property string temp: ""

    QProcess { id: proc }
    FileIO { id: file }
    Settings {
        id: settings
        category: "qz-virtual-fundamental"
        property string qz: ""
        property string approx: "0.5"
        property int octave: 5 // the octave box's "0"
        property int lyrics: 0
        property int grid: 0 // the grid box's "as the box sends it"
        property bool selectionOnly: false
    }

    // The qz beside this plugin when there is one, else qz on PATH.
    function defaultQz() {
        var dir = Qt.resolvedUrl(".").toString().replace(/^file:\/\//, "");
        if (windows)
            dir = dir.replace(/^\/([A-Za-z]:)/, "$1");
        var beside = dir + (windows ? "qz.exe" : "qz");
        file.source = beside;
        return file.exists() ? beside : "qz";
    }

    // Runs a script of shell (cmd on Windows) lines; {ok, out, code} or
    // {error}. The script file keeps paths with spaces quoted as the shell
    // quotes them, which QProcess's command line cannot.
    function runScript(lines, ms) {
        var path = tempFile(windows ? "run.cmd" : "run.sh");
        file.source = path;
        if (!file.write(lines.join(windows ? "\r\n" : "\n") + "\n"))
            return { error: "cannot write " + path };
        plugin.exitCode = -1;
        proc.start(windows ? "cmd /c \"" + path + "\"" : "sh \"" + path + "\"");
        var done = proc.waitForFinished(ms);
        if (!done) {
            proc.kill();
            proc.waitForFinished(2000);
        }
        file.source = path;
        file.remove();
        if (!done)
            return { error: "qz did not finish within " + ms / 1000 + " s" };
        return { ok: plugin.exitCode === 0, out: String(proc.readAllStandardOutput()), code: plugin.exitCode };
    }

    function tempFile(name) {
        if (!temp)
            temp = file.tempPath() + "/qz-vf-" + Date.now().toString(36) + "-" + Math.floor(Math.random() * 1e9).toString(36);
        return temp + "-" + name;
    }

    function removeFile(path) {
        file.source = path;
        if (file.exists())
            file.remove();
    }

    function quote(s) {
        return windows ? "\"" + s + "\"" : "'" + s.replace(/'/g, "'\\''") + "'";
    }

    function environment(name) {
        var r = runScript(windows ? ["@echo off", "echo %" + name + "%"] : ["printf '%s' \"$" + name + "\""], 5000);
        var v = r.out ? r.out.replace(/[\r\n]+$/, "") : "";
        return v === "%" + name + "%" ? "" : v;
    }

    // The staff the fundamentals go to and the ticks and parts they come
    // from: {staff, from, to, parts} or {error}.
    function target(selectionOnly) {
        var staff = curScore.nstaves - 1, last = curScore.parts[curScore.parts.length - 1];
        if (curScore.parts.length < 2 || last.startTrack !== staff * 4)
            return { error: "add an empty one-staff part at the bottom of the score for the fundamentals (Instruments, key I) and run again: MuseScore 3.2's plugins cannot add a part" };
        var c = curScore.newCursor(), from = 0, to = curScore.lastSegment.tick, first = 0, lastStaff = staff - 1;
        if (selectionOnly) {
            c.rewind(1);
            if (!c.segment)
                return { error: "nothing is selected: select a range of measures, or choose the whole score" };
            from = c.measure.firstSegment.tick;
            first = c.staffIdx;
            c.rewind(2);
            if (c.segment) {
                var endTick = c.tick;
                c.rewind(1);
                while (c.measure && c.measure.lastSegment.tick < endTick)
                    c.nextMeasure();
                to = c.measure ? c.measure.lastSegment.tick : to;
            }
            c.rewind(2);
            lastStaff = Math.min(Math.floor(c.track / 4), staff - 1);
            if (first >= staff)
                return { error: "the selection holds only the staff of the fundamentals" };
        }
        var parts = [];
        for (var i = 0; i < curScore.parts.length - 1; i++) {
            var p = curScore.parts[i];
            if (p.endTrack > first * 4 && p.startTrack <= lastStaff * 4 + 3)
                parts.push(i + 1);
        }
        c.staffIdx = staff;
        c.voice = 0;
        c.rewind(0);
        for (; c.segment && c.tick < to; c.next())
            if (c.tick >= from && c.element && c.element.type === Element.CHORD)
                return { error: "the last staff already has notes there: it must be empty for the fundamentals" };
        return { staff: staff, from: from, to: to, parts: parts };
    }

    // Runs qz on the score: {part} (QzPart.read's result) or {error}.
    function fundamentals(qz, options, parts) {
        var src = tempFile("score.musicxml"), out = tempFile("out.musicxml");
        removeFile(out);
        if (!writeScore(curScore, src.replace(/\.musicxml$/, ""), "musicxml"))
            return { error: "MuseScore could not write " + src };
        var cmd = [quote(qz), "subtone", "--score", quote(src), "--parts", parts.join(","), "-o", quote(out)];
        var opts = options.split(/\s+/).filter(function (s) { return s.length; });
        var lines = windows
            ? ["@echo off", "where " + quote(qz) + " >nul 2>&1 || if not exist " + quote(qz) + " (echo qz-missing & exit /b 127)",
               cmd.concat(opts).join(" ") + " 2>&1"]
            : ["qz=" + quote(qz),
               "case $qz in */*) [ -f \"$qz\" ] && [ -x \"$qz\" ] ;; *) command -v \"$qz\" >/dev/null 2>&1 ;; esac || { echo qz-missing; exit 127; }",
               "exec \"$qz\"" + cmd.slice(1).concat(opts.map(quote)).map(function (s) { return " " + s; }).join("") + " 2>&1"];
        var r = runScript(lines, timeoutMs);
        removeFile(src);
        if (r.error)
            return r;
        if (r.out.indexOf("qz-missing") === 0)
            return { error: "qz is missing or not executable: " + qz + " (set its path in the dialog)" };
        if (!r.ok)
            return { error: "qz failed (exit " + r.code + "): " + r.out.trim() };
        file.source = out;
        var part = QzPart.read(file.read(), division);
        removeFile(out);
        return part.error ? part : { part: part };
    }

    // "--octave auto": the octave shift (-4 to 4) that brings the median
    // of the fundamentals nearest to D3, the middle line of the bass clef,
    // the staff most parts added for them have (the plugin cannot set the
    // staff's clef, as qz does in its own part).
    function autoOctave(part) {
        var pitches = part.events.filter(function (e) { return !e.rest; })
                                 .map(function (e) { return e.pitch + e.quarter; })
                                 .sort(function (a, b) { return a - b; });
        if (!pitches.length)
            return 0;
        var median = pitches[Math.floor((pitches.length - 1) / 2)];
        return Math.max(-4, Math.min(4, Math.round((50 - median) / 12)));
    }

    // The whole job; "" or the error, the score unchanged on an error.
    function addStaff(qz, options, selectionOnly) {
        var t = target(selectionOnly);
        if (t.error)
            return t.error;
        if (!t.parts.length)
            return "the selection holds no part but the fundamentals' staff";
        var r = fundamentals(qz, options.replace(/--octave\s+auto\b/, ""), t.parts);
        if (r.error)
            return r.error;
        if (/--octave\s+auto\b/.test(options)) {
            var k = autoOctave(r.part);
            if (k)
                r = fundamentals(qz, options.replace(/--octave\s+auto\b/, "--octave " + k), t.parts);
            if (r.error)
                return r.error;
        }
        curScore.startCmd();
        var n = QzEnter.enter(plugin, t, r.part);
        curScore.endCmd();
        if (n.error) {
            cmd("undo");
            return n.error;
        }
        return n.added ? "" : "qz found no fundamental of two or more pitches there";
    }

    function options() {
        var o = "--approx " + approxField.text + " --octave " + (octaveBox.currentIndex ? octaveBox.currentIndex - 5 : "auto");
        return o + " --lyrics " + ["none", "hz", "cents"][lyricsBox.currentIndex] +
               " --grid " + ["approx", "semitone", "quarter"][gridBox.currentIndex];
    }

    Component.onCompleted: proc.finished.connect(function (code) { plugin.exitCode = code; })

    onRun: {
        var batch = environment("QZ_MUSESCORE_BATCH");
        if (!batch)
            return;
        var qz = environment("QZ_MUSESCORE_QZ") || defaultQz();
        timeoutMs = parseInt(environment("QZ_MUSESCORE_TIMEOUT"), 10) || timeoutMs;
        // MuseScore actions first, such as those that make a selection.
        var actions = environment("QZ_MUSESCORE_ACTIONS").split(/\s+/);
        for (var i = 0; i < actions.length; i++)
            if (actions[i])
                cmd(actions[i]);
        var err = addStaff(qz, environment("QZ_MUSESCORE_OPTIONS"), environment("QZ_MUSESCORE_RANGE") === "selection");
        if (err)
            console.error("qz-virtual-fundamental: error: " + err);
        // And actions after it, such as undo.
        actions = environment("QZ_MUSESCORE_THEN").split(/\s+/);
        for (i = 0; i < actions.length; i++)
            if (actions[i])
                cmd(actions[i]);
        if (!writeScore(curScore, batch.replace(/\.mscx$/, ""), "mscx"))
            console.error("qz-virtual-fundamental: error: cannot save " + batch);
        Qt.quit();
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 10
        columns: 2
        Label { text: "Approximation (semitones)" }
        TextField { id: approxField; text: settings.approx }
        Label { text: "Octave shift" }
        ComboBox {
            id: octaveBox
            model: ["automatic", "-4", "-3", "-2", "-1", "0", "+1", "+2", "+3", "+4"]
            currentIndex: settings.octave
        }
        Label { text: "Written on" }
        ComboBox {
            id: gridBox
            model: ["the box's grid", "semitones", "quarter tones"]
            currentIndex: settings.grid
        }
        Label { text: "Lyrics" }
        ComboBox { id: lyricsBox; model: ["none", "Hz", "cents"]; currentIndex: settings.lyrics }
        Label { text: "Range" }
        ComboBox { id: rangeBox; model: ["whole score", "selected measures"]; currentIndex: settings.selectionOnly ? 1 : 0 }
        Label { text: "qz" }
        TextField { id: qzField; Layout.fillWidth: true; text: settings.qz || plugin.defaultQz() }
        Label {
            id: message
            Layout.columnSpan: 2
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            color: "darkred"
        }
        RowLayout {
            Layout.columnSpan: 2
            Button { text: "Add staff"; onClicked: {
                settings.qz = qzField.text;
                settings.approx = approxField.text;
                settings.octave = octaveBox.currentIndex;
                settings.lyrics = lyricsBox.currentIndex;
                settings.grid = gridBox.currentIndex;
                settings.selectionOnly = rangeBox.currentIndex === 1;
                message.text = plugin.addStaff(qzField.text, plugin.options(), rangeBox.currentIndex === 1);
                if (!message.text)
                    Qt.quit();
            } }
            Button { text: "Close"; onClicked: Qt.quit() }
        }
    }
}
