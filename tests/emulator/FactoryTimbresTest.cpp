// The factory bank as it sounds through the emulator: every General MIDI program on middle C
// at one level, struck and plucked ones dying away while held, and the kit's cymbals, cowbell
// and whistle ringing on for as long as theirs do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "emulator/Ma1Emulator.h"

namespace talmeru::emulator {
namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 512;

class FactoryTimbres : public ::testing::Test {
  protected:
    // Peak, and the levels of the loudest and the last 50 ms, in dB of full scale, of
    // `seconds` of a note.
    struct Heard {
        double peakDb, endDb, loudestDb;
        double FallDb() const { return loudestDb - endDb; }
    };
    static Heard Play(int channel, int program, int key, double seconds) {
        auto emu = Ma1Emulator::Create();
        emu->SetAudioRate(kRate);
        std::unique_ptr<MidiOutPort> out;
        emu->Devices()->OpenOutput(0, out);
        out->SendShort(uint32_t(0xC0 | channel | program << 8));
        out->SendShort(uint32_t(0x90 | channel | key << 8 | 100 << 16));
        const int frames = int(seconds * kRate) / kBlock * kBlock;
        std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
        for (int at = 0; at < frames; at += kBlock)
            emu->Render(left.data() + at, right.data() + at, kBlock);
        double peak = 0;
        for (float v : left)
            peak = std::max(peak, double(std::abs(v)));
        const int window = kRate / 20;
        auto rms = [&](int from) {
            double power = 0;
            for (int i = from; i < from + window; ++i)
                power += double(left[size_t(i)]) * left[size_t(i)] / window;
            return std::sqrt(power);
        };
        double loudest = 0;
        for (int at = 0; at + window <= frames; at += window)
            loudest = std::max(loudest, rms(at));
        return {Db(peak), Db(rms(frames - window)), Db(loudest)};
    }
    static double Db(double v) { return 20 * std::log10(std::max(v, 1e-9)); }
};

TEST_F(FactoryTimbres, EveryProgramSoundsAndSustainsNearTheOthersLevel) {
    std::vector<Heard> heard;
    for (int program = 0; program < 128; ++program)
        heard.push_back(Play(0, program, 60, 0.8));
    std::vector<double> peaks;
    for (const Heard& h : heard)
        peaks.push_back(h.peakDb);
    std::nth_element(peaks.begin(), peaks.begin() + 64, peaks.end());
    const double median = peaks[64];
    for (int program = 0; program < 128; ++program) {
        EXPECT_NEAR(heard[size_t(program)].peakDb, median, 6) << "program " << program;
        // Held, nothing is gone before 0.8 s but the sound effects that are over by then and
        // the mallets and plucks that die fastest (marimba, xylophone, pizzicato, banjo,
        // woodblock).
        const std::vector<int> gone = {12, 13, 45, 105, 115, 120, 123, 127};
        if (std::find(gone.begin(), gone.end(), program) == gone.end()) {
            EXPECT_GT(heard[size_t(program)].endDb, median - 40) << "program " << program;
        }
    }
}

// How far a note held for two seconds falls from its loudest moment.
TEST_F(FactoryTimbres, StruckAndPluckedNotesDieAwayWhileHeldSustainedOnesDoNot) {
    struct Case {
        int program, key;
        double leastDb, mostDb;
    };
    const Case cases[] = {
        {0, 60, 20, 35},    // piano: a few seconds to -40 dB
        {4, 60, 12, 30},    // electric piano
        {9, 72, 10, 30},    // glockenspiel rings on
        {12, 60, 40, 200},  // marimba: gone in about a second
        {24, 60, 18, 40},   // nylon guitar
        {33, 36, 10, 35},   // finger bass
        {46, 60, 10, 35},   // harp
        {47, 48, 12, 35},   // timpani
        {16, 60, 0, 3},     // drawbar organ
        {19, 60, 0, 3},     // church organ
        {48, 60, 0, 3},     // strings
        {56, 60, 0, 5},     // trumpet
        {73, 72, 0, 3},     // flute
        {81, 60, 0, 3},     // sawtooth lead
        {88, 60, 0, 3},     // a pad over a bell wave
    };
    for (const Case& c : cases) {
        const Heard h = Play(0, c.program, c.key, 2);
        EXPECT_GE(h.FallDb(), c.leastDb) << "program " << c.program;
        EXPECT_LE(h.FallDb(), c.mostDb) << "program " << c.program;
    }
    // A piano's low notes ring on longer than its high ones.
    EXPECT_LT(Play(0, 0, 36, 2).FallDb() + 10, Play(0, 0, 84, 2).FallDb());
}

TEST_F(FactoryTimbres, CowbellRingsAndWhistleBlowsOn) {
    const Heard cowbell = Play(9, 0, 56, 0.3), cowbellLater = Play(9, 0, 56, 1);
    EXPECT_GT(cowbell.endDb, cowbell.peakDb - 45);
    EXPECT_LT(cowbellLater.endDb, cowbellLater.peakDb - 80);
    const Heard whistle = Play(9, 0, 72, 0.6), whistleLater = Play(9, 0, 72, 1.5);
    EXPECT_GT(whistle.endDb, whistle.loudestDb - 6);
    EXPECT_LT(whistleLater.endDb, whistleLater.peakDb - 80);
}

TEST_F(FactoryTimbres, CymbalsRingOnPastASecond) {
    for (int key : {49, 51, 52, 53, 55, 57, 59}) {
        const Heard h = Play(9, 0, key, 1.2);
        EXPECT_GT(h.endDb, h.peakDb - 60) << "key " << key;
    }
    const Heard snare = Play(9, 0, 38, 1.2);  // and a drum that is over stays over
    EXPECT_LT(snare.endDb, snare.peakDb - 80);
}

}  // namespace
}  // namespace talmeru::emulator
