#include "platform/RomDirectory.h"

#include <algorithm>
#include <cmath>

namespace talmeru {

namespace {

constexpr std::string_view kNames[kRomRegionCount] = {
    "C 2-Perc Organ",
    "C 4-Perc Organ",
    "C 6-Perc Organ",
    "C 6-Tubular Bells",
    "D 3-gm french ",
    "F 3-gm french ",
    "A#3-gm french ",
    "F 4-gm french ",
    "C#7-gm french ",
    "D 2-gm piano",
    "A#2-gm piano",
    "D 3-gm piano",
    "C#4-gm piano",
    "F 4-gm piano",
    "B 4-gm piano",
    "B 5-gm piano",
    "A 6-gm piano",
    "A#2-gm strings",
    "E 3-gm strings",
    "G 4-gm strings",
    "A 5-gm strings",
    "C 7-gm strings",
    "F 3-gm elec piano",
    "F 4-gm elec piano",
    "F 6-gm elec piano",
    "E 2-gm steel string",
    "E 2-alt steel string",
    "D 3-gm steel string",
    "F#4-gm steel string",
    "F#4-gm steel string alt",
    "C 6-gm steel string",
    "C 6-gm steel string alt",
    "F 3-gm jazz guitar",
    "F 3-alt jazz guitar",
    "F 5-gm jazz guitar",
    "F 5-alt jazz guitar",
    "D 3-gm nylon guitar",
    "B 3-gm nylon guitar",
    "A#4-gm nylon guitar",
    "A#5-gm nylon guitar",
    "A#6-gm nylon guitar",
    "A 1-gm acoustic bass",
    "G 2-gm acoustic bass",
    "A#1-gm pick bass",
    "A 2-gm pick bass",
    "B 1-gm slap bass",
    "B 2-gm slap bass",
    "C 3-gm slap bass",
    "G#3-gm fretless bass",
    "A#4-gm flute",
    "C#6-gm flute",
    "C#7-gm flute",
    "C#7-   Ocarina",
    "C#7-alt Ocarina",
    "G 4-gm oboe",
    "B 4-gm oboe",
    "D#5-gm oboe",
    "G 5-gm oboe",
    "G 6-gm oboe",
    "A#3-gm clarinet",
    "E 4-gm clarinet",
    "A 4-gm clarinet",
    "E 5-gm clarinet",
    "A#5-gm clarinet",
    "A#6-gm clarinet",
    "A#3-gm ehorn",
    "C#4-gm ehorn",
    "G 4-gm ehorn",
    "A#2-gm bassoon",
    "D#3-gm bassoon",
    "A 3-gm bassoon",
    "F 4-gm bassoon",
    "B 4-gm bassoon",
    "A 4-gm trumpet",
    "F#5-gm trumpet",
    "B 6-gm trumpet",
    "A 2-gm trombone",
    "A 2-alt trombone",
    "D 3-gm trombone",
    "G#3-gm trombone",
    "E 4-gm violin",
    "D#5-gm violin",
    "D 6-gm violin",
    "C#7-gm violin",
    "G#3-gm viola",
    "F 4-gm viola",
    "G 2-gm cello",
    "F 3-gm cello",
    "G 4-gm cello",
    "F 1-gm double bass",
    "F 1-alt double bass",
    "D 4-gm vibes",
    "D 5-gm vibes",
    "C 6-gm glock",
    "A 4-gm celeste",
    "A 6-gm celeste",
    "A 2-gm timpani",
    "D#5-Spectral Wave",
    "A 4-Synth String",
    "E 6-Synth String",
    "F#4-Synth Vox ",
    "D#6-Synth Vox ",
    "G#4-SteelDrum",
    "F 6-SteelDrum",
    "C 6-Drawbar Organ",
    "E 7-Drawbar Organ",
    "A 3-Bagpipe",
    "C 5-Bagpipe",
    "D#3-Bottle",
    "B 4-Bottle",
    "G 6-Bottle",
    "D 3-Clav",
    "E 4-Clav",
    "B 4-Clav",
    "D#5-Clav",
    "A 6-Clav",
    "A#3-Doos",
    "A#3-alt Doos 1",
    "A#3-alt Doos 2",
    "F#4-Doos",
    "D 5-Doos",
    "E 6-Doos",
    "C 3-Dist Gtr",
    "C 3-Dist Gtr Alt",
    "G 3-Dist Gtr",
    "C#4-Dist Gtr",
    "F#4-Dist Gtr",
    "B 4-Dist Gtr",
    "E 5-Dist Gtr",
    "C#6-Dist Gtr",
    "C 5-Fret Noise",
    "C 4-Telephone",
    "C 4-Gunshot",
    "E 3-Plucked Harp",
    "C 5-Plucked Harp",
    "A 5-Plucked Harp",
    "A#2-Harpsichord",
    "A#3-Harpsichord",
    "G#4-Harpsichord",
    "D 6-Harpsichord",
    "G#4-Koto",
    "C#5-Koto",
    "G 6-Koto",
    "F 5-Marimba",
    "G 6-Marimba",
    "C#4-Kalimba",
    "D 6-Kalimba",
    "D 4-Muted Trumpet",
    "F#4-Muted Trumpet",
    "F#5-Muted Trumpet",
    "A 6-Muted Trumpet",
    "A 2-Strat",
    "F 3-Strat",
    "E 4-Strat",
    "F 5-Strat",
    "C 4-Orch Hit",
    "C 3-Church Organ",
    "C 4-Church Organ",
    "C 6-Church Organ",
    "C 3-GM Organ 3",
    "C 3-Organ 3 Alt",
    "G 3-GM Organ 3",
    "G 4-GM Organ 3",
    "C 5-GM Organ 3",
    "C 6-GM Organ 3",
    "B 3-Panflute",
    "A 5-Panflute",
    "F#2-Pizzicato",
    "D#3-Pizzicato",
    "F#4-Pizzicato",
    "G#6-Pizzicato",
    "A 4-Reed",
    "A 4-alt Reed 1",
    "A 4-alt Reed 2",
    "C#3-Tenor Sax",
    "C#3-alt Tenor Sax",
    "G 3-Tenor Sax",
    "C 4-Tenor Sax",
    "G 4-Tenor Sax",
    "C 5-Tenor Sax",
    "G 5-Tenor Sax",
    "Dry Kick",
    "Side Stick",
    "Sticks",
    "Snare 1",
    "Hand Clap",
    "Snare 2",
    "High Tom",
    "OpenCl HH",
    "Closed HH",
    "Foot HH",
    "Crash",
    "Splash",
    "Ride Rim",
    "Ride Bell",
    "Cowbell",
    "Vibeslap",
    "Ride Rim",
    "China Cymbal",
    "Tambourine Hit",
    "Filtersnap",
    "Scratch",
    "High Bongo",
    "Low Bongo",
    "SquClick",
    "Mute High Conga",
    "Conga",
    "Low Timbale",
    "Agogo",
    "Shaker",
    "Maracas",
    "Long Whistle",
    "Long Guiro",
    "Clave",
    "Cuica",
    "Triangle",
    "Sleigh Bells",
    "Bell Tree",
    "Wood Block",
    "Castinet",
    "Metronome 1",
    "Metronome 2",
    "A#4-Sine Wave",
    "F 5-Sine Wave",
    "C 6-Sine Wave",
    "G 6-Sine Wave",
    "D 7-Sine Wave",
    "G#7-Sine Wave",
    "C 8-Sine Wave",
    "C#3-Saw",
    "G#3-Saw",
    "D#4-Saw",
    "A#4-Saw",
    "F 5-Saw",
    "C 6-Saw",
    "G 6-Saw",
    "D 7-Saw",
    "G#7-Saw",
    "C#3-Square",
    "G#3-Square",
    "D#4-Square",
    "A#4-Square",
    "F 5-Square",
    "C 6-Square",
    "G 6-Square",
    "D 7-Square",
    "G#7-Square",
    "G#3-EP Wave",
    "D#4-EP Wave",
    "A#4-EP Wave",
    "F 5-EP Wave",
    "C 6-EP Wave",
    "G 6-EP Wave",
    "D 7-EP Wave",
    "G#7-EP Wave",
    "G#3-Bell Wave",
    "D#4-Bell Wave",
    "A#4-Bell Wave",
    "F 5-Bell Wave",
    "C 6-Bell Wave",
    "G 6-Bell Wave",
    "D 7-Bell Wave",
    "G#7-Bell Wave",
    "C 3-Vocal Ahhs",
    "E 4-Vocal Ahhs",
    "E 5-Vocal Ahhs",
    "C 4-Applause",
    "C 4-Icerain",
    "D 4-Banjo",
    "C#5-Banjo",
    "C 4-Brass",
    "C 5-Brass",
    "F#5-Brass",
    "C 5-Accordion ",
    "A#6-Accordion ",
    "C 4-Harmonica ",
    "C 5-Harmonica ",
    "C 4-GtrHarmoni",
    "C 4-GtrHarmPick",
    "F 5-Chiff",
    "C 4-Bird",
};

// Regions whose offsets are known exactly; the others are laid out in order, evenly, in the
// space between them, each looping over about its last quarter (ringing drums: see below).
struct Anchor {
    int index;
    int32_t start, loopStart, end;
};
constexpr Anchor kAnchors[] = {
    {0, 0, 7215, 9037},
    {1, 9038, 16245, 16335},
    {9, 67490, 95576, 120676},
    {106, 1048576, 1048666, 1048814},
    {280, 2092825, 2094895, 2095688},
};

// Cymbals and the like ring on through their loop, so it spans all but their first quarter:
// a loop of noise as short as the usual last quarter would buzz at its own rate.
constexpr std::string_view kRingingDrums[] = {"OpenCl HH", "Crash",        "Splash",
                                              "Ride Rim",  "Ride Bell",    "China Cymbal",
                                              "Triangle",  "Bell Tree"};

bool Rings(std::string_view name) {
    return std::find(std::begin(kRingingDrums), std::end(kRingingDrums), name) !=
           std::end(kRingingDrums);
}

// A made-up loop of a pitched region spans a whole number of periods of its root note, so
// that the emulator's waves sustain in tune through it (to within a fraction of a frame).
void FitLoopToRoot(RomRegion& r) {
    const std::optional<int> root = RomRootKey(r.name);
    if (!root) return;
    const double period = kRomSampleRate / (440 * std::exp2((*root - 69) / 12.0));
    const double periods = std::max(1.0, std::round((r.end - r.loopStart + 1) / period));
    const int32_t loop = std::min(int32_t(std::lround(periods * period)), (r.end - r.start) / 2);
    r.loopStart = r.end + 1 - loop;
}

std::array<RomRegion, kRomRegionCount> Build() {
    std::array<RomRegion, kRomRegionCount> dir{};
    for (int i = 0; i < kRomRegionCount; ++i)
        dir[i].name = kNames[i];
    for (const auto& a : kAnchors)
        dir[a.index] = {kNames[a.index], a.start, a.loopStart, a.end};
    for (size_t k = 0; k + 1 < std::size(kAnchors); ++k) {
        const Anchor& lo = kAnchors[k];
        const Anchor& hi = kAnchors[k + 1];
        int count = hi.index - lo.index - 1;
        if (count <= 0) continue;
        int32_t first = lo.end + 1;
        int32_t room = hi.start - first;
        int32_t len = room / count;
        for (int i = 0; i < count; ++i) {
            RomRegion& r = dir[lo.index + 1 + i];
            r.start = first + i * len;
            r.end = (i == count - 1) ? hi.start - 1 : r.start + len - 1;
            r.loopStart = r.start + (r.end - r.start) * (Rings(r.name) ? 1 : 3) / 4;
            FitLoopToRoot(r);
        }
    }
    return dir;
}

const std::array<RomRegion, kRomRegionCount> kDirectory = Build();

}  // namespace

std::optional<int> RomRootKey(std::string_view name) {
    static constexpr int kNote[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    if (name.size() < 4 || name[0] < 'A' || name[0] > 'G' || (name[1] != ' ' && name[1] != '#') ||
        name[2] < '0' || name[2] > '9' || name[3] != '-')
        return std::nullopt;
    return (name[2] - '0' + 1) * 12 + kNote[name[0] - 'A'] + (name[1] == '#' ? 1 : 0);
}

std::span<const RomRegion> RomDirectory() {
    return kDirectory;
}

const RomRegion* FindRomRegion(int32_t start, int32_t loopStart, int32_t end) {
    for (const auto& r : kDirectory)
        if (r.start == start && r.loopStart == loopStart && r.end == end) return &r;
    return nullptr;
}

}  // namespace talmeru
