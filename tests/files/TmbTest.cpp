#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>

#include "files/BankFile.h"
#include "files/FileWaveData.h"
#include "files/Pbf.h"
#include "files/Tmb.h"
#include "files/WaveImport.h"
#include "model/WaveMerge.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"
#include "support/BankBuilder.h"
#include "support/Portability.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

using test::MakeWav;
using test::PackedObject;
using test::WavPlan;

class TmbTest : public test::TempDirTest {
  protected:
    std::string Wav(const std::string& name, int channels, int bits, uint32_t rate,
                    const std::function<int(int, int)>& sample, int frames) {
        WavPlan s;
        s.channels = channels;
        s.bits = bits;
        s.rate = rate;
        for (int f = 0; f < frames; ++f)
            for (int c = 0; c < channels; ++c) {
                int v = sample(f, c);
                if (bits == 8) {
                    s.data.push_back(static_cast<uint8_t>(v));
                } else {
                    s.data.push_back(static_cast<uint8_t>(v));
                    s.data.push_back(static_cast<uint8_t>(static_cast<unsigned>(v) >> 8));
                }
            }
        return Put(name, MakeWav(s));
    }

    // A bank of programs made from WAV files of every kind the format must carry.
    void FillBank(ZedoDatabase& db) {
        std::mt19937 gen(17);
        auto noise = [&gen](int, int) { return static_cast<int>(gen() % 65536) - 32768; };
        const std::vector<std::string> files = {
            Wav(
                "ramp.wav", 1, 16, 44100, [](int f, int) { return -20000 + 3 * f; }, 12000),
            Wav(
                "silence.wav", 1, 16, 44100, [](int, int) { return 0; }, 9000),
            Wav("noise.wav", 1, 16, 44100, noise, 10000),
            Wav(
                "square.wav", 1, 16, 44100, [](int f, int) { return f % 2 ? 32767 : -32768; },
                9000),
            Wav(
                "eight.wav", 1, 8, 22050, [](int f, int) { return (f * 7) & 0xFF; }, 5000),
            Wav(
                "stereo22.wav", 2, 16, 22050, [](int f, int c) { return c ? -f : f; }, 7000),
            Wav(
                "stereo44.wav", 2, 16, 44100, [](int f, int c) { return (f * (c + 1)) % 30000; },
                8500),
            Wav(
                "stereo8.wav", 2, 8, 44100, [](int f, int c) { return (f + 100 * c) & 0xFF; },
                3000)};
        for (const auto& f : files)
            ASSERT_NE(BuildProgramFromWave(db, f, false, nullptr), nullptr) << f;
        // A second header sharing the ramp's wave data.
        ASSERT_NE(ImportWaveAsSample(db, db.GetWaveData(1)->path, 200, kWholeFile, 0), nullptr);
    }

    // The data of chunk `id` of the TMB file at path.
    std::vector<uint8_t> ChunkData(const std::string& path, const char (&id)[5]) {
        auto bytes = *ReadWholeFile(path);
        MemorySource src(bytes);
        RiffReader r(src);
        auto riff = r.Riff(0, FourCC("tmbf"));
        auto chunk = riff ? r.Find(*riff, FourCC(id)) : std::nullopt;
        EXPECT_TRUE(chunk) << id;
        return chunk ? r.ReadData(*chunk) : std::vector<uint8_t>{};
    }

    std::vector<uint8_t> Packed(BankObject* o) {
        std::vector<uint8_t> b;
        EXPECT_EQ(o->PackToBlock(b), 0);
        return b;
    }

    // Objects, stereo pairs, sharing and sample data of two banks are the same.
    void ExpectSameBank(ZedoDatabase& a, ZedoDatabase& b) {
        for (int type : {kTypeProgram, kTypeKeymap, kTypeSampleHeader})
            for (int n = 0; n < kSlotCount; ++n) {
                BankObject* x = a.GetObject(type, n);
                BankObject* y = b.GetObject(type, n);
                ASSERT_EQ(x == nullptr, y == nullptr) << type << "/" << n;
                if (!x) continue;
                EXPECT_EQ(Packed(x), Packed(y)) << type << "/" << n;
                EXPECT_EQ(x->stereoRole, y->stereoRole) << type << "/" << n;
                EXPECT_EQ(x->chained ? x->chained->Number() : -1,
                          y->chained ? y->chained->Number() : -1);
                if (type == kTypeProgram) {
                    for (int l = 0; l < static_cast<Program*>(x)->LayerCount(); ++l) {
                        EXPECT_EQ(static_cast<Program*>(x)->GetLayer(l)->StereoState(),
                                  static_cast<Program*>(y)->GetLayer(l)->StereoState());
                    }
                }
                if (type != kTypeSampleHeader) continue;
                WaveData* wx = static_cast<SampleHeader*>(x)->Wave();
                WaveData* wy = static_cast<SampleHeader*>(y)->Wave();
                ASSERT_TRUE(wx && wy);
                EXPECT_EQ(wx->base, wy->base);
                EXPECT_EQ(wx->links.size(), wy->links.size());
                EXPECT_EQ(wx->bitsHeld, wy->bitsHeld) << n;
                EXPECT_EQ(wx->SampleRate(), wy->SampleRate()) << n;
                if (wx->IsRom()) continue;
                ASSERT_EQ(wx->LoadData(), 0);
                ASSERT_EQ(wy->LoadData(), 0);
                EXPECT_EQ(wx->data, wy->data) << "sample " << n;
                wx->ReleaseData();
                wy->ReleaseData();
            }
    }

    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
};

TEST_F(TmbTest, EveryKindOfSampleDataComesBackExactly) {
    TALMERU_SKIP_ON_WINDOWS("symbolic links");
    ZedoDatabase db;
    FillBank(db);
    std::string tmb = Path("bank.tmb");
    ASSERT_EQ(SaveBank(db, tmb, 0), 0);
    ZedoDatabase back;
    ASSERT_EQ(OpenBank(back, tmb, 0), 0);
    EXPECT_TRUE(prompter_.All().empty());
    ExpectSameBank(db, back);
    // Data that fits the stream is compressed; the rest is carried as WAV images.
    int streams = 0, images = 0;
    for (int i = 1; i < back.WaveDataCount(); ++i)
        (back.GetWaveData(i)->Kind() == kWaveCtmb ? streams : images)++;
    EXPECT_EQ(streams, 5);  // ramp, silence, noise, stereo44 left and right
    EXPECT_EQ(images, 6);   // square, eight-bit, two 22050 Hz halves, two 8-bit halves

    // Saved over itself, the bank in memory reads its data from the new file.
    ASSERT_EQ(SaveBank(back, tmb, 0), 0);
    ZedoDatabase third;
    ASSERT_EQ(OpenBank(third, tmb, 0), 0);
    ExpectSameBank(back, third);
    ExpectSameBank(db, back);

    // Opened through a link, grown by a program (which moves every sample's data further
    // into the file) and saved by the file's own name.
    std::filesystem::create_symlink("bank.tmb", dir_ / "link.tmb");
    ZedoDatabase viaLink;
    ASSERT_EQ(OpenBank(viaLink, Path("link.tmb"), 0), 0);
    std::string late = Wav(
        "late.wav", 1, 16, 44100, [](int f, int) { return f * 7; }, 3000);
    for (ZedoDatabase* bank : {&db, &viaLink})
        ASSERT_NE(BuildProgramFromWave(*bank, late, false, nullptr), nullptr);
    ASSERT_EQ(SaveBank(viaLink, tmb, 0), 0);
    ExpectSameBank(db, viaLink);
}

// A stream read in pieces (as an upload reads it) gives what loading it whole gives, also
// over the seams between its batches; both refuse a damaged block and a file cut short.
TEST_F(TmbTest, StreamsReadInPiecesAsWhole) {
    std::mt19937 gen(5);
    auto noise = [&gen](int, int) { return static_cast<int>(gen() % 8000) - 4000; };
    ZedoDatabase db;
    ASSERT_NE(
        BuildProgramFromWave(db, Wav("long.wav", 1, 16, 44100, noise, 800000), false, nullptr),
        nullptr);
    std::string tmb = Path("long.tmb");
    ASSERT_EQ(SaveBank(db, tmb, 0), 0);
    auto check = [&](const std::string& file, bool damaged) {
        ZedoDatabase back;
        OpenBank(back, file, 0);
        auto* w = static_cast<FileWaveData*>(back.GetWaveData(1));
        ASSERT_EQ(w->Kind(), kWaveCtmb);
        ASSERT_TRUE(w->ReadsInPlace());
        std::vector<uint8_t> pieces(static_cast<size_t>(w->Length()), 0xAA);
        prompter_.Clear();
        const int read = w->ReadData(pieces);
        const int load = w->LoadData();
        EXPECT_EQ(read != 0, damaged);
        EXPECT_EQ(load != 0, damaged);
        if (damaged) {
            EXPECT_FALSE(prompter_.All().empty());
            return;
        }
        EXPECT_EQ(pieces, w->data);
    };
    check(tmb, false);
    auto bytes = *ReadWholeFile(tmb);
    ASSERT_GT(bytes.size(), size_t(5) << 18);  // more than one batch
    // Cut inside the second batch: a stream longer than its file is refused either way.
    Put("cut.tmb", std::vector<uint8_t>(bytes.begin(), bytes.begin() + (5 << 18) - 77));
    check(Path("cut.tmb"), true);
    // The last block's id spoilt.
    auto last = std::find_end(bytes.begin(), bytes.end(), "CBLK", "CBLK" + 4);
    ASSERT_NE(last, bytes.end());
    *last = 'X';
    Put("spoilt.tmb", bytes);
    check(Path("spoilt.tmb"), true);
}

TEST_F(TmbTest, ChunksAsWritten) {
    ZedoDatabase db;
    ASSERT_NE(BuildProgramFromWave(db,
                                   Wav(
                                       "a.wav", 1, 16, 44100, [](int f, int) { return f; }, 100),
                                   false, nullptr),
              nullptr);
    ASSERT_NE(ImportWaveAsSample(db, db.GetWaveData(1)->path, 7, kWholeFile, 0), nullptr);
    ASSERT_EQ(WriteTmb(Path("plain.tmb"), db, 0), 0);
    auto bytes = *ReadWholeFile(Path("plain.tmb"));
    MemorySource src(bytes);
    RiffReader r(src);
    auto riff = r.Riff(0, FourCC("tmbf"));
    ASSERT_TRUE(riff);
    std::vector<uint32_t> ids;
    for (const auto& c : r.Children(*riff))
        ids.push_back(c.id);
    // No stereo pair: no "stln".
    EXPECT_EQ(ids, (std::vector<uint32_t>{FourCC("bprg"), FourCC("wvdt"), FourCC("wval")}));
    auto wval = r.ReadData(*r.Find(*riff, FourCC("wval")));
    EXPECT_EQ(wval, (std::vector<uint8_t>{0, 0, 7, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    auto wvdt = r.ReadData(*r.Find(*riff, FourCC("wvdt")));
    EXPECT_EQ(std::vector<uint8_t>(wvdt.begin(), wvdt.begin() + 8),
              (std::vector<uint8_t>{0, 0, 0xFF, 0xFF, 0, 1, 0, 0}));
    ZedoDatabase back;
    ASSERT_EQ(ReadTmb(Path("plain.tmb"), back), 0);
    EXPECT_EQ(back.GetSampleHeader(7)->Wave(), back.GetSampleHeader(0)->Wave());
    EXPECT_EQ(back.WaveDataCount(), 2);

    // Such a bank cannot be saved as .pbf: the records could not find the data again.
    EXPECT_EQ(SaveBank(back, Path("x.pbf"), 0), 1);
    EXPECT_FALSE(prompter_.Messages().empty());
    EXPECT_EQ(SaveBank(back, Path("x.pbf"), kSaveWriteWavs), 0);
}

// The object and stereo chunks byte for byte: records by type, then number; each stereo
// pair once, from its left half.
TEST_F(TmbTest, ObjectsAndStereoLinksAsWritten) {
    ZedoDatabase db;
    for (int channels : {1, 2})
        ASSERT_NE(BuildProgramFromWave(db,
                                       Wav(
                                           Fmt("w%d.wav", channels), channels, 16, 44100,
                                           [](int f, int c) { return f - c; }, 50),
                                       false, nullptr),
                  nullptr);
    ASSERT_EQ(WriteTmb(Path("st.tmb"), db, 0), 0);
    auto bprg = ChunkData(Path("st.tmb"), "bprg");
    ByteReader b(bprg);
    EXPECT_EQ(b.U32(), 8u);
    std::vector<std::pair<int, int>> records;
    while (!b.AtEnd()) {
        PackedHeader h;
        ASSERT_TRUE(ReadPackedHeader(b.Data().subspan(b.Pos()), h));
        records.push_back({h.type, h.number});
        b.Skip(kObjectHeaderSize + static_cast<size_t>(h.bodySize));
    }
    EXPECT_EQ(records, (std::vector<std::pair<int, int>>{{kTypeProgram, 0},
                                                         {kTypeProgram, 1},
                                                         {kTypeKeymap, 0},
                                                         {kTypeKeymap, 1},
                                                         {kTypeKeymap, 2},
                                                         {kTypeSampleHeader, 0},
                                                         {kTypeSampleHeader, 1},
                                                         {kTypeSampleHeader, 2}}));

    auto stln = ChunkData(Path("st.tmb"), "stln");
    // Samples 1 and 2, keymaps 1 and 2, layers 0 and 1 of program 1 (and two bytes unused).
    EXPECT_EQ(stln, (std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 2, 0, 1, 0, 0, 0, 1, 0,
                                          2, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
}

// Builds a TMB file from chunks given by the test.
std::vector<uint8_t> TmbFile(
    const std::vector<std::pair<const char*, std::vector<uint8_t>>>& chunks,
    const char* form = "tmbf") {
    ByteWriter out;
    RiffWriter w(out);
    uint32_t f = FourCC("tmbf");
    if (std::string(form) != "tmbf") f = FourCC("xxxx");
    w.Open(FourCC("RIFF"), f);
    for (const auto& [id, data] : chunks)
        w.Chunk(static_cast<uint32_t>(id[0] | (id[1] << 8) | (id[2] << 16) | (id[3] << 24)), data);
    w.Close();
    return out.Take();
}

std::vector<uint8_t> Bprg(const std::vector<std::vector<uint8_t>>& records) {
    ByteWriter b;
    b.U32(static_cast<uint32_t>(records.size()));
    for (const auto& r : records)
        b.Bytes(r);
    return b.Take();
}

TEST_F(TmbTest, ReaderChecks) {
    auto sample = [](int n) { return PackedObject(2, n, "s", test::SampleBody(0, 7215, 9037)); };
    auto keymap = [](int n) { return PackedObject(1, n, "k", test::KeymapBody({{127, 0, 0}})); };
    auto read = [&](const std::vector<uint8_t>& file, ZedoDatabase& db) {
        prompter_.Clear();
        return ReadTmb(Put("t.tmb", file), db);
    };
    ZedoDatabase db;
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({sample(0), sample(1)})}}), db), 0);
    EXPECT_TRUE(db.GetSampleHeader(1)->IsRom());  // no wave data chunks: the ROM plays
    EXPECT_EQ(db.GetSampleHeader(0)->RegionName(), "C 2-Perc Organ");

    ZedoDatabase d2;
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({})}}, "xxxx"), d2), 1);
    EXPECT_TRUE(prompter_.Saw("This is not a valid TMB file"));
    EXPECT_EQ(read(TmbFile({{"wvdt", {}}}), d2), 1);
    EXPECT_TRUE(prompter_.Saw("TMB files has no bprg chunk"));
    EXPECT_EQ(ReadTmb(Path("missing.tmb"), d2), 1);

    ByteWriter stln;
    stln.U32(0);
    stln.U32(1);
    stln.U16(3);
    stln.U16(4);  // keymap 4 does not exist
    stln.U32(0);
    ZedoDatabase d3;
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({keymap(3), sample(0)})}, {"stln", stln.Data()}}), d3),
              1);
    EXPECT_TRUE(prompter_.Saw("Bad stereo sample link"));
    EXPECT_TRUE(d3.GetSampleHeader(0)->IsRom());  // the ROM still plays what was read

    // Links that pair an object with itself or with a second partner are dropped.
    ByteWriter loops;
    loops.U32(2);
    loops.U16(0);
    loops.U16(0);
    loops.U16(1);
    loops.U16(0);
    loops.U32(2);
    loops.U16(3);
    loops.U16(5);
    loops.U16(5);
    loops.U16(3);
    loops.U32(0);
    ZedoDatabase d4;
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({keymap(3), keymap(5), sample(0), sample(1)})},
                            {"stln", loops.Data()}}),
                   d4),
              0);
    EXPECT_EQ(d4.GetSampleHeader(0)->stereoRole, kStereoRight);
    EXPECT_EQ(d4.GetSampleHeader(0)->chained, nullptr);
    EXPECT_EQ(d4.GetSampleHeader(1)->chained, d4.GetSampleHeader(0));
    EXPECT_EQ(d4.GetKeymap(3)->chained, d4.GetKeymap(5));
    EXPECT_EQ(d4.GetKeymap(5)->stereoRole, kStereoRight);
    EXPECT_EQ(d4.GetKeymap(5)->chained, nullptr);

    ByteWriter shortLinks;
    shortLinks.U32(2);
    shortLinks.U16(0);
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({sample(0)})}, {"stln", shortLinks.Data()}}), d3), 1);
    EXPECT_TRUE(prompter_.Saw("Error reading stereo sample links 2"));

    std::vector<uint8_t> missingBase{9, 0, 0xFF, 0xFF, 0, 1, 0, 0};
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({sample(0)})}, {"wvdt", missingBase}}), d3), 1);
    EXPECT_TRUE(prompter_.Saw("Bank corrupt, could not find sample 9"));
    std::vector<uint8_t> badForm{0, 0, 0xFF, 0xFF, 0, 2, 0, 0};
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({sample(0)})}, {"wvdt", badForm}}), d3), 1);
    EXPECT_TRUE(prompter_.Saw("Corrupt TMBWaveData, cFormat not recognized."));
    std::vector<uint8_t> unterminated{0, 0, 0xFF, 0xFF, 0, 1, 0};
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({sample(0)})}, {"wvdt", unterminated}}), d3), 1);
    EXPECT_TRUE(prompter_.Saw("could not read tmbwave"));
    // Rates of samples in a shared block: entries that fit no sample's data are passed over;
    // one that claims more ranges than the chunk holds fails the read.
    ByteWriter wvdt;
    {
        ZedoDatabase one;
        ASSERT_NE(
            BuildProgramFromWave(one,
                                 Wav(
                                     "r.wav", 1, 16, 44100, [](int f, int) { return f; }, 100),
                                 false, nullptr),
            nullptr);
        ASSERT_EQ(WriteTmb(Path("one.tmb"), one, 0), 0);
        wvdt.Bytes(ChunkData(Path("one.tmb"), "wvdt"));
    }
    auto rates = [](std::vector<std::array<uint32_t, 4>> entries) {
        ByteWriter b;
        for (const auto& [base, count, frame, rate] : entries) {
            b.U16(static_cast<uint16_t>(base));
            b.U16(0);
            b.U32(count);
            if (count) {
                b.U32(frame);
                b.U32(rate);
            }
        }
        b.U16(0xFFFF);
        b.U16(0);
        b.U32(0);
        return b.Take();
    };
    ZedoDatabase d5;
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({sample(0)})},
                            {"wvdt", wvdt.Data()},
                            {"wvrt", rates({{7, 1, 0, 22050}, {0, 1, 10, 0}, {0, 1, 20, 11025}})}}),
                   d5),
              0);
    EXPECT_EQ(d5.GetSampleHeader(0)->Wave()->rangeRates,
              (std::vector<std::pair<uint32_t, int>>{{20, 11025}}));
    std::vector<uint8_t> tooMany = rates({{0, 1, 0, 22050}});
    tooMany[4] = 3;
    EXPECT_EQ(
        read(TmbFile({{"bprg", Bprg({sample(0)})}, {"wvdt", wvdt.Data()}, {"wvrt", tooMany}}), d5),
        1);
    EXPECT_TRUE(prompter_.Saw("Could not read the samples' rates"));

    std::vector<uint8_t> alias{0, 0, 1, 0};
    EXPECT_EQ(read(TmbFile({{"bprg", Bprg({sample(0), sample(1)})}, {"wval", alias}}), d3), 1);
    EXPECT_TRUE(prompter_.Saw("Link attempted on non-existant base sample"));
}

TEST_F(TmbTest, MergedBanksAndMissingFiles) {
    ZedoDatabase db;
    db.SetPath(Path("m.tmb"));
    ASSERT_NE(BuildProgramFromWave(db,
                                   Wav(
                                       "a.wav", 1, 16, 44100, [](int f, int) { return f; }, 300),
                                   false, nullptr),
              nullptr);
    ASSERT_NE(BuildProgramFromWave(db,
                                   Wav(
                                       "b.wav", 1, 16, 44100, [](int f, int) { return -f; }, 200),
                                   false, nullptr),
              nullptr);
    MergeWaveData(db);
    ASSERT_EQ(SaveBank(db, Path("m.tmb"), 0), 0);
    ZedoDatabase back;
    ASSERT_EQ(OpenBank(back, Path("m.tmb"), 0), 0);
    SampleHeader* b = back.GetSampleHeader(1);
    ASSERT_EQ(b->Wave()->LoadData(), 0);
    // Header 1 plays its stretch of the block: -0, -1, -2 ...
    int32_t at = b->start;
    EXPECT_EQ(static_cast<int16_t>(b->Wave()->data[static_cast<size_t>(at) + 2] |
                                   (b->Wave()->data[static_cast<size_t>(at) + 3] << 8)),
              -1);

    // A sample whose file is missing cannot be carried: the save says so instead.
    ZedoDatabase missing;
    missing.Store(PackedObject(2, 0, "gone", test::SampleBody(0, -1, 10)));
    missing.AddWaveData(std::make_unique<InvalidWaveData>(0, "/gone.wav", 0));
    EXPECT_EQ(WriteTmb(Path("g.tmb"), missing, 0), 1);
    EXPECT_TRUE(prompter_.Saw("Some Wave data is invalid, can't save bank"));
}

// A sample carried as a WAV image that is damaged: the open says so, and no save writes a
// bank that refers to the .tmb file as if it were a sample file (it could never be read).
TEST_F(TmbTest, ADamagedSampleImageFailsTheOpenAndEverySave) {
    ZedoDatabase db;
    ASSERT_NE(BuildProgramFromWave(db,
                                   Wav(
                                       "e.wav", 1, 8, 22050, [](int f, int) { return f; }, 500),
                                   false, nullptr),
              nullptr);
    ASSERT_EQ(SaveBank(db, Path("d.tmb"), 0), 0);
    auto bytes = *ReadWholeFile(Path("d.tmb"));
    const std::string wave = "WAVEfmt ";
    auto at = std::search(bytes.begin(), bytes.end(), wave.begin(), wave.end());
    ASSERT_NE(at, bytes.end());
    at[3] = 'X';
    const std::string damaged = Put("d.tmb", bytes);

    ZedoDatabase back;
    EXPECT_EQ(OpenBank(back, damaged, 0), 1);
    EXPECT_TRUE(prompter_.Saw("The sample data of sample 0 in \"" + damaged + "\" is damaged."));
    ASSERT_NE(back.GetProgram(0), nullptr);  // what could be read is kept
    for (const char* name : {"x.pbf", "x.tmb"}) {
        prompter_.Clear();
        EXPECT_EQ(SaveBank(back, Path(name), 0), 1) << name;
        EXPECT_TRUE(prompter_.Saw("Some Wave data is invalid, can't save bank")) << name;
        EXPECT_FALSE(std::filesystem::exists(Path(name))) << name;
    }
}

// A file cut short loses whole chunks without any reader noticing: the RIFF size tells, the
// open fails, and what was read is kept.
TEST_F(TmbTest, CutShortFilesFailButKeepWhatWasRead) {
    ZedoDatabase db;
    FillBank(db);
    ASSERT_EQ(SaveBank(db, Path("whole.tmb"), 0), 0);
    auto whole = *ReadWholeFile(Path("whole.tmb"));
    auto startOf = [&](const char* id) {
        auto at = std::search(whole.begin(), whole.end(), id, id + 4);
        EXPECT_NE(at, whole.end()) << id;
        return static_cast<size_t>(at - whole.begin());
    };
    for (size_t length :
         {startOf("wvdt"), startOf("wvdt") + 9000, startOf("wval") + 6, whole.size() - 1}) {
        prompter_.Clear();
        const std::string path = Put(
            "cut.tmb", std::vector<uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(length)));
        ZedoDatabase back;
        back.SetOpenOptions(kOpenQuiet);
        EXPECT_EQ(ReadTmb(path, back), 1) << length;
        EXPECT_TRUE(prompter_.Saw(path + " is damaged or cut short")) << length;
        EXPECT_NE(back.GetProgram(0), nullptr) << length;
    }
}

TEST_F(TmbTest, DamagedFilesNeverCrash) {
    ZedoDatabase db;
    ASSERT_NE(BuildProgramFromWave(
                  db,
                  Wav(
                      "st.wav", 2, 16, 44100, [](int f, int c) { return f * (c + 1); }, 9000),
                  false, nullptr),
              nullptr);
    ASSERT_NE(
        BuildProgramFromWave(db,
                             Wav(
                                 "e.wav", 1, 8, 22050, [](int f, int) { return f & 0xFF; }, 500),
                             false, nullptr),
        nullptr);
    ASSERT_EQ(WriteTmb(Path("good.tmb"), db, 0), 0);
    auto good = *ReadWholeFile(Path("good.tmb"));
    std::mt19937 gen(23);
    prompter_.SetDefault(Answer::Yes);
    for (int round = 0; round < 300; ++round) {
        auto bytes = good;
        if (round % 3 == 0)
            bytes.resize(gen() % bytes.size());
        else
            for (int c = 0; c < 1 + round % 6; ++c)
                bytes[gen() % bytes.size()] = static_cast<uint8_t>(gen());
        std::string path = Put("f.tmb", bytes);
        ZedoDatabase d;
        d.SetOpenOptions(kOpenQuiet);
        ReadTmb(path, d);
        for (int i = 1; i < d.WaveDataCount(); ++i) {
            d.GetWaveData(i)->LoadData();
            d.GetWaveData(i)->ReleaseData();
        }
    }
}

}  // namespace
}  // namespace talmeru
