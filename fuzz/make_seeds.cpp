// Writes the fuzz targets' seed corpora, made by the project's own writers. Exits 1, naming
// the seed, when a writer fails or a seed would be empty: a target run over an empty seed
// learns nothing of its format.
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "files/Pbf.h"
#include "files/SampleStream.h"
#include "files/SyxBank.h"
#include "files/Tmb.h"
#include "files/WaveImport.h"
#include "model/Keymap.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteIO.h"
#include "platform/FileUtil.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"
#include "support/K2000Builder.h"
#include "support/MidiFileBuilder.h"
#include "support/Sf2Builder.h"
#include "support/WavBuilder.h"
#include "synth/Sysex.h"

using namespace talmeru;
namespace fs = std::filesystem;

namespace {

fs::path g_root;
// Records what the writers show; every question gets Yes, as a user making the file would.
ScriptedPrompter g_prompter(Answer::Yes);

[[noreturn]] void Refuse(const std::string& seed, const std::string& why) {
    std::cerr << "make_seeds: seed " << seed << ": " << why << "\n";
    for (const auto& shown : g_prompter.All())
        std::cerr << "  " << (shown.question ? "asked: " : "shown: ") << shown.text << "\n";
    std::exit(1);
}

void Seed(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string seed = target + "/" + name;
    if (bytes.empty()) Refuse(seed, "it is empty");
    std::error_code ec;
    fs::create_directories(g_root / target, ec);
    if (!WriteWholeFile(g_root / target / name, bytes) ||
        ReadWholeFile(g_root / target / name) != bytes)
        Refuse(seed, "it could not be written and read back");
}

// A seed taken from the file a writer made; `written` is the writer's result.
void SeedFromFile(const std::string& target, const std::string& name, const fs::path& file,
                  int written) {
    if (written != 0) Refuse(target + "/" + name, "the writer of " + file.string() + " failed");
    auto bytes = ReadWholeFile(file);
    if (!bytes) Refuse(target + "/" + name, file.string() + " cannot be read");
    Seed(target, name, *bytes);
}

std::vector<uint8_t> Wav(int channels, int bits, int frames, bool loop) {
    test::WavPlan s;
    s.channels = channels;
    s.bits = bits;
    s.data.resize(static_cast<size_t>(frames * channels * bits / 8));
    for (size_t i = 0; i < s.data.size(); ++i)
        s.data[i] = static_cast<uint8_t>(i * 37);
    if (loop) {
        s.unity = 62;
        s.loops = {{0, 2, static_cast<uint32_t>(frames - 1), 0x80000000u}};
        s.inst = std::vector<uint8_t>{60, 5, 0, 0, 127, 0, 127};
    }
    return test::MakeWav(s);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds FOLDER\n";
        return 2;
    }
    g_root = argv[1];
    ScopedPrompter scope(g_prompter);
    fs::path work = g_root / "work";
    fs::create_directories(work);

    // A bank with every kind of object and RAM samples (mono, stereo, 8-bit, shared).
    ZedoDatabase db;
    db.Store(test::PackedObject(3, 0, "Grand", test::ProgramBody(3, 1, true)));
    db.Store(test::PackedObject(1, 1, "Map", test::KeymapBody({{40, -3, 0}, {127, 2, 1}})));
    db.Store(test::PackedObject(2, 0, "Perc", test::SampleBody(0, 7215, 9037)));
    db.Store(test::PackedObject(2, 1, "Bird", test::SampleBody(2092825, 2094895, 2095688)));
    db.Store(test::PackedObject(5, 2, "raw", {1, 2, 3}));
    int i = 0;
    for (auto [ch, bits] : {std::pair{1, 16}, {2, 16}, {1, 8}}) {
        std::string path = (work / ("s" + std::to_string(i++) + ".wav")).string();
        WriteWholeFile(path, Wav(ch, bits, 300, true));
        BuildProgramFromWave(db, path, false, nullptr);
    }
    ImportWaveAsSample(db, db.GetWaveData(1)->path, 100, kWholeFile, 0);

    std::vector<uint8_t> pbf;
    if (BuildPbf(db, 0, pbf) != 0) Refuse("pbf/bank", "the bank could not be built");
    Seed("pbf", "bank", pbf);
    test::PbfImage old;
    old.format = 0x0100;
    old.programs = {test::PackedObject(3, 0, "Old", test::ProgramBody(2, 0, true))};
    old.samples = {test::PackedObject(2, 0, "k.wavl", test::SampleBody(0, -1, 10))};
    Seed("pbf", "old", old.Build());

    SeedFromFile("tmb", "bank", work / "bank.tmb", WriteTmb((work / "bank.tmb").string(), db, 0));
    // A sysex file holds 16-bit samples: the 8-bit one is widened (the writer asks first).
    ZedoDatabase rom;
    SeedFromFile("syx", "bank", work / "bank.syx",
                 WriteSyx((work / "bank.syx").string(), db, &rom));
    ZedoDatabase syx;
    if (ReadSyx((work / "bank.syx").string(), syx, &rom) != 0 || !syx.GetProgram(0) ||
        syx.WaveDataCount() < 2)
        Refuse("syx/bank", "it does not read back as a bank with a program and its samples");

    // Apex: header, records, wave records with WAV images.
    ByteWriter apex;
    apex.FixedString("AVM Sample Studio", 32);
    apex.FixedString("Kurzweil MA-1", 32);
    apex.Zeros(452 - 64);
    apex.PatchU16(302, 2);
    apex.PatchU32(304, 1);
    apex.PatchU32(316, static_cast<uint32_t>(apex.Pos()));
    apex.Bytes(test::PackedObject(2, 1, "s", test::SampleBody(0, -1, 100)));
    apex.Bytes(test::PackedObject(3, 1, "p", test::ProgramBody(1, 0)));
    apex.PatchU32(320, static_cast<uint32_t>(apex.Pos()));
    auto image = Wav(1, 16, 60, false);
    apex.U16(1);
    apex.Zeros(6);
    apex.U32(static_cast<uint32_t>(image.size()));
    apex.Bytes(image);
    Seed("apex", "bank", apex.Data());

    for (auto [ch, bits] : {std::pair{1, 16}, {2, 16}, {1, 8}, {2, 8}}) {
        std::vector<uint8_t> w{0};
        auto body = Wav(ch, bits, 40, true);
        w.insert(w.end(), body.begin(), body.end());
        Seed("wav", "w" + std::to_string(ch) + "_" + std::to_string(bits), w);
        w[0] = 0x25;  // at an offset, right channel
        Seed("wav", "o" + std::to_string(ch) + "_" + std::to_string(bits), w);
    }

    std::vector<uint8_t> pcm;
    for (int s = 0; s < 9000; ++s) {
        auto v = static_cast<uint16_t>(static_cast<int16_t>((s * 97) % 20000 - 10000));
        pcm.push_back(static_cast<uint8_t>(v));
        pcm.push_back(static_cast<uint8_t>(v >> 8));
    }
    ByteWriter stream;
    CompressSamples(pcm, stream);
    Seed("stream", "music", stream.Data());

    auto reply = BuildMessage(0x0B, std::vector<uint8_t>{0, 0, 4, 0, 0, 0, 0, 1});
    reply.insert(reply.begin(), {8, 0});
    Seed("sysex_reply", "memory", reply);

    for (int type = 1; type <= 6; ++type) {
        std::vector<uint8_t> b{static_cast<uint8_t>(type - 1)};
        auto obj = type == 1   ? test::PackedObject(1, 3, "m", test::KeymapBody({{127, 0, 0}}))
                   : type == 2 ? test::PackedObject(2, 3, "s", test::SampleBody(0, -1, 10))
                   : type == 3 ? test::PackedObject(3, 3, "p", test::ProgramBody(4, 0, true))
                               : test::PackedObject(type, 3, "r", {1, 2});
        b.insert(b.end(), obj.begin(), obj.end());
        Seed("store", "type" + std::to_string(type), b);
    }
    test::Sf2Plan sf2;
    sf2.instruments = {{"Piano",
                        {{{test::RangeGen(43, 0, 63), test::Gen(53, 0)}},
                         {{test::RangeGen(43, 64, 127), test::Gen(53, 1), test::Gen(17, 200)}}}}};
    sf2.samples = {{"Low", 0, 400, 100, 390, 44100, 48, 0, 0, 1},
                   {"High", 450, 900, 500, 880, 22050, 72, -5, 0, 1}};
    sf2.sampleData.resize(1000 * 2, 0x21);
    Seed("sf2", "piano", sf2.Build());
    // General MIDI presets over it: a piano in velocity splits, a kit with an exclusive class
    // and a linked stereo pair.
    {
        test::Sf2Plan gm = sf2;
        gm.samples[0].type = 4;
        gm.samples[0].link = 1;
        gm.samples[1].type = 2;
        gm.samples[1].link = 0;
        gm.instruments.push_back(
            {"Kit", {{{test::RangeGen(43, 42, 42), test::Gen(57, 1), test::Gen(53, 0)}},
                     {{test::RangeGen(43, 46, 46), test::Gen(57, 1), test::Gen(53, 1)}}}});
        gm.presetList = {{"Piano", 0, 0,
                          {{{test::RangeGen(44, 0, 63), test::Gen(41, 0)}},
                           {{test::RangeGen(44, 64, 127), test::Gen(41, 0)}}}},
                         {"Standard", 0, 128, {{{test::Gen(41, 1)}}}}};
        Seed("sf2", "presets", gm.Build());
    }
    // The same bank as a SoundFont 3: its first sample an Ogg Vorbis stream.
    std::vector<int16_t> tone(400);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>((i % 50) * 600 - 15000);
    std::vector<uint8_t> ogg = test::OggVorbis(tone, 44100);
    const auto oggBytes = static_cast<uint32_t>(ogg.size());
    if (ogg.size() & 1) ogg.push_back(0);
    sf2.major = 3;
    sf2.sampleData.insert(sf2.sampleData.begin(), ogg.begin(), ogg.end());
    sf2.samples[0] = {"Low", 0, oggBytes, 100, 390, 44100, 48, 0, 0, 0x11};
    for (uint32_t* p : {&sf2.samples[1].start, &sf2.samples[1].end, &sf2.samples[1].loopStart,
                        &sf2.samples[1].loopEnd})
        *p += static_cast<uint32_t>(ogg.size() / 2);
    Seed("sf2", "sf3", sf2.Build());

    test::KrzPlan krz;
    std::vector<int16_t> pcm16;
    for (int s = 0; s < 400; ++s)
        pcm16.push_back(static_cast<int16_t>(s * 50));
    krz.sampleData = test::BigEndianPcm(pcm16);
    krz.objects = {
        {test::kKrzProgram | 1, "Piano", test::KrzProgramBody(1, test::KrzLayer(200))},
        {test::kKrzKeymap | 200, "Map", test::KrzSingleKeymapBody(201)},
        {test::kKrzSample | 201, "Samp", test::KrzSampleBody({{60, 0x10, 0, 100, 399}})}};
    Seed("krz", "piano", krz.Build());

    std::string ini =
        "[Device]\nSynthOut=TBS Pro Main Synth Out\n[Options]\nMergeWaveData=0\n; note\n";
    Seed("ini", "talmeru", std::vector<uint8_t>(ini.begin(), ini.end()));

    // A song of two tracks: tempo changes, running status, a sysex message in two packets.
    test::MidiImage song;
    song.tracks.push_back(
        test::MidiTrack().Delta(0).Tempo(500000).Delta(960).Tempo(300000).Delta(960).End());
    song.tracks.push_back(test::MidiTrack()
                              .Delta(0)
                              .Sysex(0xF0, {0x7E, 0x7F})
                              .Delta(0)
                              .Sysex(0xF7, {0x09, 0x01, 0xF7})
                              .Delta(0)
                              .Bytes({0xC0, 5})
                              .Delta(0)
                              .Bytes({0xB0, 7, 100})
                              .Delta(240)
                              .Bytes({0x90, 60, 100})
                              .Delta(480)
                              .Bytes({60, 0, 0x81, 0x40, 0xE0, 0, 0x40})
                              .Delta(0)
                              .End());
    Seed("midi", "song", song.Build());
    song.format = 0;
    song.division = 0xE728;  // SMPTE time
    song.tracks.resize(1);
    Seed("midi", "smpte", song.Build());

    // A program that uses every kind of modulator and filter, and the notes that play it.
    {
        Keymap keymap;
        Program program;
        Layer* layer = program.AddLayer(keymap, false);
        auto fun = std::make_unique<FunModulator>();
        fun->SetOperator(12);
        layer->AddModulator(std::move(fun));
        layer->AddModulator(std::make_unique<LfoModulator>());
        layer->AddModulator(std::make_unique<EnvModulator>());
        program.AddModulator(std::make_unique<LfoModulator>());
        layer->Filter1().SetFilterType(4);
        layer->Filter2().SetFilterType(7);
        layer->Pitch().AddEntry({0xF1, 10, 0, 64});
        layer->Amp().AddEntry({0xF2, 127, 0, 64});
        layer->Filter1().AddEntry({0xC0, 20, 5, 0x81});
        std::vector<uint8_t> block;
        program.PackToBlock(block);
        ByteWriter w;
        w.U32(0);
        w.U32(1000);
        w.U32(4000);
        w.U16(3072);
        w.U16(uint16_t(block.size() - 22));
        w.Bytes(std::span(block).subspan(22));
        for (uint8_t b : {0x90, 60, 100, 0xB0, 1, 127, 0x90, 64, 90, 0xE0, 0, 100, 0x80, 60, 0})
            w.U8(b);
        Seed("voice", "program", w.Take());
    }
    fs::remove_all(work);
    return 0;
}
