// qz subtone --score's own work on a large score, apart from the box: a
// four-part score of 150,000 quarter notes and triplet eighths (9,375
// measures; one part a clarinet in B-flat, so that transposition is read),
// read as MusicXML, made into chords, and written back with a fundamental
// part (each chord's fundamental set two octaves below its lowest pitch).
#include "score.hpp"
#include "score_chords.hpp"
#include "score_options.hpp"
#include "score_writers.hpp"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int kParts = 4, kMeasures = 9375; // 4 notes a measure and part: 150,000

std::string big_score()
{
    static const char *const kSteps[] = {"C", "D", "E", "F", "G", "A", "B"};
    std::string x = "<?xml version=\"1.0\"?><score-partwise version=\"3.1\"><part-list>";
    for (int p = 0; p < kParts; ++p)
        x += "<score-part id=\"P" + std::to_string(p) + "\"><part-name>V" + std::to_string(p) +
             "</part-name></score-part>";
    x += "</part-list>";
    for (int p = 0; p < kParts; ++p) {
        x += "<part id=\"P" + std::to_string(p) + "\">";
        for (int m = 0; m < kMeasures; ++m) {
            x += "<measure number=\"" + std::to_string(m + 1) + "\">";
            if (m == 0) {
                x += "<attributes><divisions>3</divisions><key><fifths>0</fifths></key>"
                     "<time><beats>4</beats><beat-type>4</beat-type></time>";
                if (p == 0)
                    x += "<transpose><diatonic>-1</diatonic><chromatic>-2</chromatic></transpose>";
                x += "</attributes>";
            }
            // The top part plays triplet eighths on beat 2 (three of its four notes).
            for (int b = 0; b < 4; ++b) {
                const bool triplet = p == 0 && b >= 1;
                const std::string step = kSteps[(m + b * 2 + p * 3) % 7];
                x += "<note><pitch><step>" + step + "</step><octave>" + std::to_string(3 + p / 2) +
                     "</octave></pitch><duration>" + (triplet ? (b == 3 ? "7" : "1") : "3") +
                     "</duration><voice>1</voice><type>" + (triplet ? "eighth" : "quarter") +
                     "</type></note>";
            }
            x += "</measure>";
        }
        x += "</part>";
    }
    return x + "</score-partwise>";
}

const std::string &score_text()
{
    static const std::string s = big_score();
    return s;
}

void BM_read(benchmark::State &state)
{
    while (state.KeepRunning()) {
        qzcli::Score score;
        std::string error;
        if (!qzcli::read_musicxml(score_text(), score, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(score.notes.data());
    }
}

void BM_chords(benchmark::State &state)
{
    qzcli::Score score;
    std::string error;
    qzcli::read_musicxml(score_text(), score, error);
    std::vector<bool> all(score.parts.size(), true);
    while (state.KeepRunning()) {
        std::vector<qzcli::ScoreChord> chords;
        qzcli::score_chords(score, all, 0.0, chords, error);
        benchmark::DoNotOptimize(chords.data());
    }
}

void BM_write(benchmark::State &state)
{
    qzcli::Score score;
    std::string error, out;
    qzcli::read_musicxml(score_text(), score, error);
    std::vector<bool> all(score.parts.size(), true);
    std::vector<qzcli::ScoreChord> chords;
    qzcli::score_chords(score, all, 0.0, chords, error);
    for (qzcli::ScoreChord &c : chords)
        c.f0 = c.pitches.front() - 24.0;
    const qzcli::SubtoneScore opt;
    while (state.KeepRunning()) {
        qzcli::write_score_musicxml(score_text(), score, chords, opt, out, error);
        benchmark::DoNotOptimize(out.data());
    }
}

} // namespace

BENCHMARK(BM_read)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_chords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_write)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
