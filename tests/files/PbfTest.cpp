#include <gtest/gtest.h>

#include <random>

#include "files/Pbf.h"
#include "model/Modulator.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteIO.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"
#include "support/ClaimingSource.h"

namespace talmeru {
namespace {

using test::Bytes;
using test::KeymapBody;
using test::PackedObject;
using test::PbfImage;
using test::ProgramBody;
using test::SampleBody;

struct Loaded {
    int rc;
    std::vector<std::string> shown;
};

Loaded Read(const Bytes& file, ZedoDatabase& db, int options = 0,
            std::vector<Answer> answers = {}) {
    ScriptedPrompter p;
    for (Answer a : answers)
        p.QueueAnswer(a);
    ScopedPrompter scope(p);
    int rc = ReadPbf(file, db, options);
    std::vector<std::string> shown;
    for (const auto& s : p.All())
        shown.push_back(s.text);
    return {rc, shown};
}

Loaded Read(const Bytes& file) {
    ZedoDatabase db;
    return Read(file, db);
}

PbfImage SmallBank() {
    PbfImage img;
    img.programs = {PackedObject(3, 0, "Grand", ProgramBody(2, 1, true)),
                    PackedObject(3, 300, "Pad", ProgramBody(1, 2))};
    img.keymaps = {PackedObject(1, 1, "Piano map", KeymapBody({{59, 0, 0}, {127, -4, 1}})),
                   PackedObject(1, 2, "Pad map", KeymapBody({{127, 0, 1}}))};
    img.samples = {PackedObject(2, 0, "Perc", SampleBody(0, 7215, 9037)),
                   PackedObject(2, 1, "Bird", SampleBody(2092825, 2094895, 2095688))};
    return img;
}

// The object records of a written .pbf image, in file order.
std::vector<Bytes> Records(const Bytes& file) {
    ByteReader r(file);
    r.Seek(68);
    int counts[3] = {r.U16(), r.U16(), r.U16()};
    r.Seek(68 + 12);
    uint32_t offsets[3] = {r.U32(), r.U32(), r.U32()};
    std::vector<Bytes> out;
    for (int s = 0; s < 3; ++s) {
        r.Seek(offsets[s]);
        for (int i = 0; i < counts[s]; ++i) {
            size_t at = r.Pos();
            r.Skip(4);
            size_t size = r.U16();
            r.Seek(at);
            auto rec = r.Bytes(22 + size);
            out.emplace_back(rec.begin(), rec.end());
        }
    }
    return out;
}

TEST(PbfRead, LoadsObjectsAndNamesRomSamples) {
    ZedoDatabase db;
    db.SetModified();
    Loaded l = Read(SmallBank().Build(), db);
    ASSERT_EQ(l.rc, 0);
    EXPECT_TRUE(l.shown.empty());
    EXPECT_FALSE(db.IsModified());
    EXPECT_EQ(db.Comment(), "test bank");
    ASSERT_NE(db.GetProgram(300), nullptr);
    EXPECT_EQ(db.GetProgram(0)->LayerCount(), 2);
    EXPECT_EQ(db.GetKeymap(1)->entries.size(), 2u);
    SampleHeader* bird = db.GetSampleHeader(1);
    ASSERT_NE(bird, nullptr);
    EXPECT_TRUE(bird->IsRom());
    EXPECT_EQ(bird->RegionName(), "C 4-Bird");
    EXPECT_EQ(db.GetSampleHeader(0)->RegionName(), "C 2-Perc Organ");
    EXPECT_EQ(db.WaveDataCount(), 1);
    ASSERT_EQ(db.GetWaveData(0)->links.size(), 2u);
}

TEST(PbfRoundTrip, WritesEveryRecordBackByteForByte) {
    PbfImage img = SmallBank();
    ZedoDatabase db;
    ASSERT_EQ(Read(img.Build(), db).rc, 0);
    Bytes out;
    ASSERT_EQ(BuildPbf(db, 0, out), 0);
    std::vector<Bytes> expected;
    for (const auto* list : {&img.programs, &img.keymaps, &img.samples})
        expected.insert(expected.end(), list->begin(), list->end());
    EXPECT_EQ(Records(out), expected);

    ByteReader r(out);
    EXPECT_EQ(r.FixedString(32), "PINNACLE");
    EXPECT_EQ(r.FixedString(32), "Bank");
    EXPECT_EQ(r.U16(), 0x0102);
    r.Seek(68 + 36);
    EXPECT_EQ(r.FixedString(64), "Created by Talmeru Version 147");
    // Without RAM samples both sections are empty and start where the samples end.
    r.Seek(68 + 28);
    uint32_t endMinus262 = r.U32();
    r.Seek(68 + 100);
    EXPECT_EQ(r.U16(), 0);
    uint32_t waveAt = r.U16();
    waveAt |= static_cast<uint32_t>(r.U16()) << 16;
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.U32(), waveAt);
    EXPECT_EQ(waveAt, out.size());
    EXPECT_EQ(endMinus262 + 262, out.size());

    ZedoDatabase again;
    ASSERT_EQ(Read(out, again).rc, 0);
    Bytes second;
    ASSERT_EQ(BuildPbf(again, 0, second), 0);
    EXPECT_EQ(second, out);
}

TEST(PbfRead, HeaderChecks) {
    EXPECT_EQ(Read(Bytes(65, 0)).shown, std::vector<std::string>{"pbf Header not ok"});
    PbfImage mixed = SmallBank();
    mixed.magic = "PinNacle";
    EXPECT_EQ(Read(mixed.Build()).rc, 0);
    PbfImage upperKind = SmallBank();
    upperKind.kind = "BANK";
    Loaded l = Read(upperKind.Build());
    EXPECT_EQ(l.rc, 5);
    EXPECT_EQ(l.shown, std::vector<std::string>{"This is not a recognized PBF file."});
    PbfImage other = SmallBank();
    other.magic = "PINNACLES";
    EXPECT_EQ(Read(other.Build()).shown[0], "This is not a recognized PBF file.");
    other = SmallBank();
    other.format = 0x0101;
    EXPECT_EQ(Read(other.Build()).shown[0], "Reading of format 0101 is not supported.");
    other.format = 0x0103;
    EXPECT_EQ(Read(other.Build()).shown[0], "This PBF format is not supported");
    Bytes cutSection = SmallBank().Build();
    cutSection.resize(100);
    EXPECT_EQ(Read(cutSection).shown[0], "pbf Header not ok");
}

TEST(PbfRead, OldFormat) {
    PbfImage old = SmallBank();
    old.format = 0x0100;
    // Old files keep records in any order of kinds.
    std::swap(old.programs[1], old.samples[0]);
    ZedoDatabase db;
    Loaded l = Read(old.Build(), db);
    ASSERT_EQ(l.rc, 0) << (l.shown.empty() ? "" : l.shown[0]);
    EXPECT_EQ(db.Comment(), "<no comments available>");
    EXPECT_NE(db.GetProgram(300), nullptr);
    EXPECT_TRUE(db.GetSampleHeader(0)->IsRom());

    Bytes longer = old.Build();
    longer.push_back(0);
    Loaded l2 = Read(longer);
    ASSERT_EQ(l2.shown.size(), 1u);
    EXPECT_EQ(l2.shown[0].rfind("Actual file size does match header.\n", 0), 0u) << l2.shown[0];

    // One record fewer than the counts say, with the size field telling the truth.
    PbfImage fewer = old;
    fewer.keymaps.pop_back();
    Bytes f = fewer.Build();
    f[66 + 2] = 2;
    EXPECT_EQ(Read(f).shown, std::vector<std::string>{"PBF object miscount, file is corrupt."});

    // Kinds that disagree with the counts.
    Bytes swapped = old.Build();
    swapped[66 + 0] = 3;  // three programs
    swapped[66 + 2] = 1;  // one keymap
    EXPECT_EQ(Read(swapped).shown,
              std::vector<std::string>{"PBF object miscount, file is corrupt."});
}

// A file cut between two records is refused, not opened as a smaller bank.
TEST(PbfRead, ACutBetweenRecordsIsDamage) {
    const Bytes whole = SmallBank().Build();
    const auto records = Records(whole);
    ByteReader header(whole);
    header.Seek(80);  // where the first section's records start
    size_t at = header.U32();
    for (size_t k = 0; k < records.size(); ++k) {
        Loaded l = Read(Bytes(whole.begin(), whole.begin() + long(at)));
        EXPECT_NE(l.rc, 0) << k;
        ASSERT_FALSE(l.shown.empty()) << k;
        EXPECT_NE(l.shown[0].find("is damaged or cut short"), std::string::npos) << l.shown[0];
        at += records[k].size();
    }
}

TEST(PbfRead, RecordChecks) {
    auto withRaw = [](int bodySize) {
        PbfImage img = SmallBank();
        img.programs.push_back(PackedObject(5, 3, "raw", Bytes(static_cast<size_t>(bodySize), 1)));
        return img.Build();
    };
    ZedoDatabase db;
    EXPECT_EQ(Read(withRaw(4074), db).rc, 0);
    EXPECT_EQ(db.RawBlock(5, 3)->size(), 4096u);
    EXPECT_EQ(Read(withRaw(4075)).shown, std::vector<std::string>{"OBJECTBUFFERSIZE is too small"});

    PbfImage bad = SmallBank();
    bad.keymaps.push_back(PackedObject(9, 1, "odd", {}));
    EXPECT_EQ(Read(bad.Build()).shown, std::vector<std::string>{"bad object"});
    bad = SmallBank();
    bad.keymaps.push_back(PackedObject(4, 1, "four", {}));
    Loaded four = Read(bad.Build());
    EXPECT_EQ(four.rc, 5);
    EXPECT_EQ(four.shown, std::vector<std::string>{"unknown type in ZedoDatabase::Store"});
    bad = SmallBank();
    bad.programs.push_back(PackedObject(3, 4, "Broken", {0, 0, 40, 0}));
    EXPECT_EQ(Read(bad.Build()).shown,
              std::vector<std::string>{"Error understanding object \"Broken\""});

    // The last record's body runs past the end of the file.
    PbfImage old = SmallBank();
    old.format = 0x0100;
    Bytes cut = old.Build();
    cut.resize(cut.size() - 10);
    ByteWriter fix;
    fix.U32(static_cast<uint32_t>(cut.size() - 258));
    std::copy(fix.Data().begin(), fix.Data().end(), cut.begin() + 66 + 24);
    EXPECT_EQ(Read(cut).shown,
              std::vector<std::string>{"Only 18 out of 28 bytes for object \"Bird\" were read. "
                                       "Bank file has been corrupted."});
    cut.resize(cut.size() - 18 - 10);  // a cut header
    fix = ByteWriter();
    fix.U32(static_cast<uint32_t>(cut.size() - 258));
    std::copy(fix.Data().begin(), fix.Data().end(), cut.begin() + 66 + 24);
    EXPECT_EQ(Read(cut).shown, std::vector<std::string>{"bad header in object"});
}

TEST(PbfRead, WaveAndLinkRecords) {
    PbfImage img = SmallBank();
    img.waves = {{77, 16, 0, 44100, 100, "/nowhere/loop.wav"}};
    Loaded l = Read(img.Build());
    EXPECT_EQ(l.rc, 0);
    EXPECT_EQ(l.shown,
              std::vector<std::string>{"Bank file was corrupt.  Wave data info without sample"});

    img.waves = {{1, 16, 0, 44100, 100, "/nowhere/loop.xyz"}};
    EXPECT_EQ(Read(img.Build()).shown, std::vector<std::string>{"Could not load file"});

    img.waves.clear();
    img.links = {{5, 0, 1}};
    EXPECT_EQ(Read(img.Build()).shown,
              std::vector<std::string>{"Link attempted on non-existant base sample"});
    img.links = {{4, 0, 1}};
    EXPECT_EQ(Read(img.Build()).shown, std::vector<std::string>{"Read of Link Info Failed (2)"});

    img.links.clear();
    img.waves = {{1, 16, 0, 44100, 100, "/nowhere/loop.wav"}};
    Bytes cut = img.Build();
    cut.resize(cut.size() - 5);
    EXPECT_EQ(Read(cut).shown, std::vector<std::string>{"Read of WaveData Info Failed (2)"});
    cut.resize(cut.size() - 27);  // two bytes of the record's length are left
    EXPECT_EQ(Read(cut).shown, std::vector<std::string>{"Read of WaveData Info Failed (1)"});
    img.links = {{5, 1, 1}};
    Bytes links = img.Build();
    links.resize(links.size() - 1);
    // The wave record names a missing file; declining to go on ends the load first.
    EXPECT_EQ(Read(links).shown.back(), "Load aborted");
    ZedoDatabase db;
    EXPECT_EQ(Read(links, db, 0, {Answer::No, Answer::Yes}).shown.back(),
              "Read of Link Info Failed (1)");
}

// A bank at the start of a file far larger than its content costs only the parts its headers
// name, and sizes a record only claims are refused before anything is read for them.
TEST(PbfRead, TakesOnlyThePartsTheHeadersName) {
    constexpr uint64_t kHuge = uint64_t{2} << 30;
    auto waveLengthClaims = [](uint32_t length) {
        PbfImage img = SmallBank();
        img.waves = {{1, 16, 0, 44100, 100, "/nowhere/loop.wav"}};
        Bytes file = img.Build();
        ByteReader h(file);
        h.Seek(68 + 100 + 2);
        const size_t at = h.U16() + h.U16() * size_t{65536};
        for (int i = 0; i < 4; ++i)
            file[at + size_t(i)] = uint8_t(length >> (8 * i));
        return file;
    };
    PbfImage manyPrograms = SmallBank();
    const struct {
        const char* name;
        Bytes file;
        std::vector<std::string> shown;
    } cases[] = {
        {"bank in the first KB", SmallBank().Build(), {}},
        {"wave record claims 1.9 GB",
         waveLengthClaims(0x7FFF0000u),
         {"Read of WaveData Info Failed (2)"}},
        {"wave record claims 4 GB",
         waveLengthClaims(0xFFFFFFF0u),
         {"Read of WaveData Info Failed (2)"}},
    };
    for (const auto& c : cases) {
        test::ClaimingSource huge(c.file, kHuge);
        ScriptedPrompter p;
        ScopedPrompter scope(p);
        ZedoDatabase db;
        const int rc = ReadPbf(huge, db, kOpenQuiet);
        std::vector<std::string> shown;
        for (const auto& m : p.All())
            shown.push_back(m.text);
        EXPECT_EQ(shown, c.shown) << c.name;
        EXPECT_EQ(rc, c.shown.empty() ? 0 : 5) << c.name;
        EXPECT_LT(huge.total, 64u * 4096 * 4) << c.name;
        if (c.shown.empty()) {
            EXPECT_NE(db.GetProgram(300), nullptr) << c.name;
        }
    }
    // Records a header counts but the file does not hold: the zeros that follow are no
    // object, and are read a window at a time.
    Bytes counted = SmallBank().Build();
    counted[68] = counted[69] = 0xFF;
    test::ClaimingSource huge(counted, kHuge);
    ScriptedPrompter p;
    ScopedPrompter scope(p);
    ZedoDatabase db;
    EXPECT_EQ(ReadPbf(huge, db, kOpenQuiet), 5);
    EXPECT_EQ(p.All().back().text, "bad object");
    EXPECT_LE(huge.largest, 64u * 4096);
}

TEST(PbfRead, RepairsWaveOffsetOfOldReleases) {
    // Enough program records to push the wave-data section past 64 KiB.
    PbfImage big = SmallBank();
    for (int n = 1; n < 220; ++n)
        if (n != 300)
            big.programs.push_back(
                PackedObject(3, n, "P" + std::to_string(n), ProgramBody(6, 1, true)));
    big.waves = {{400, 16, 0, 44100, 100, "/nowhere/x.wav"}};
    big.truncateWaveOffset = true;
    ZedoDatabase db;
    Loaded l = Read(big.Build(), db);
    ASSERT_EQ(l.rc, 0);
    ASSERT_EQ(l.shown.size(), 2u);
    EXPECT_EQ(l.shown[0],
              "A corruption was detected in the bank file. This is mostly like due to a bug in "
              "earlier version of Talmreu (<=1.02).  You should resave this bank to correct this "
              "problem.");
    // The record was found where it really is.
    EXPECT_EQ(l.shown[1], "Bank file was corrupt.  Wave data info without sample");

    big.truncateWaveOffset = false;
    EXPECT_EQ(Read(big.Build()).shown,
              std::vector<std::string>{"Bank file was corrupt.  Wave data info without sample"});
}

TEST(PbfRead, WaveDataByName) {
    PbfImage old = SmallBank();
    old.format = 0x0100;
    old.samples.push_back(PackedObject(2, 5, ".wav at start", SampleBody(0, -1, 10)));
    ZedoDatabase db;
    ASSERT_EQ(Read(old.Build(), db).rc, 0);
    EXPECT_TRUE(db.GetSampleHeader(5)->IsRom());  // ".wav" at the very start does not count

    old.samples.push_back(PackedObject(2, 6, "C:\\s\\Kick.WAVL", SampleBody(0, -1, 10)));
    ZedoDatabase named;
    Loaded l = Read(old.Build(), named);
    EXPECT_EQ(l.rc, 0);
    // Missing: asked about (answered No), kept as invalid wave data naming the file.
    EXPECT_EQ(l.shown,
              std::vector<std::string>{
                  "\"C:\\s\\Kick.WAV\" could not be found. Would you like to try to find it?"});
    WaveData* w = named.GetSampleHeader(6)->Wave();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Kind(), kWaveInvalid);
    EXPECT_EQ(w->path, "C:\\s\\Kick.WAV");
    EXPECT_EQ(w->channel, kLeftChannel);
}

TEST(PbfWrite, RefusesWhatCannotBeSaved) {
    ScriptedPrompter p;
    ScopedPrompter scope(p);
    ZedoDatabase db;
    db.SetMerged(true);
    Bytes out;
    EXPECT_EQ(BuildPbf(db, 0, out), 1);
    EXPECT_TRUE(p.Saw("Sorry, you can't save a bank with merged wave data"));

    ZedoDatabase tooMany;
    tooMany.Store(PackedObject(3, 3, "Crowded", ProgramBody(1, 0)));
    Program* prog = tooMany.GetProgram(3);
    for (int i = 0; i < 17; ++i)
        prog->Modulators().push_back(std::make_unique<FunModulator>());
    p.Clear();
    EXPECT_EQ(BuildPbf(tooMany, 0, out), 1);
    EXPECT_TRUE(p.Saw("Error Saving (Program(3):\"Crowded\")"));
}

TEST(PbfWrite, KeepsReferencesOfMissingFiles) {
    ZedoDatabase db;
    db.Store(PackedObject(2, 1, "kick", SampleBody(0, -1, 10)));
    db.Store(PackedObject(2, 2, "kick2", SampleBody(0, -1, 10)));
    WaveData* w = db.AddWaveData(std::make_unique<InvalidWaveData>(1, "/gone/kick.wav", 2));
    w->AddLink(2);
    Bytes out;
    ASSERT_EQ(BuildPbf(db, 0, out), 0);
    ByteReader r(out);
    r.Seek(68 + 100);
    EXPECT_EQ(r.U16(), 1);
    uint32_t waveAt = r.U16();
    waveAt |= static_cast<uint32_t>(r.U16()) << 16;
    EXPECT_EQ(r.U16(), 1);
    uint32_t linkAt = r.U32();
    r.Seek(waveAt);
    EXPECT_EQ(r.U32(), 14u + 17u);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.U8(), 0);  // bits unknown
    EXPECT_EQ(r.U8(), 2);  // right channel
    r.Skip(8);
    EXPECT_EQ(r.FixedString(15), "/gone/kick.wav");
    EXPECT_EQ(r.Pos(), linkAt);
    EXPECT_EQ(r.U16(), 5);
    EXPECT_EQ(r.U16(), 2);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_TRUE(r.AtEnd());
}

// Every truncation and a few thousand seeded byte changes: the reader refuses or accepts,
// and never reads outside the file (the sanitizer build checks that).
TEST(PbfRobustness, TruncatedAndCorruptedFilesNeverCrash) {
    PbfImage img = SmallBank();
    img.samples.push_back(PackedObject(2, 9, "x", SampleBody(0, -1, 10)));
    img.waves = {{9, 16, 0, 44100, 100, "/nowhere/x.wav"}};
    img.links = {{5, 1, 9}};
    Bytes good = img.Build();
    ScriptedPrompter p(Answer::Yes);
    ScopedPrompter scope(p);
    for (size_t n = 0; n < good.size(); ++n) {
        ZedoDatabase db;
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        int rc = ReadPbf(cut, db, 0);
        EXPECT_TRUE(rc == 0 || rc == 5) << n;
    }
    PbfImage old = img;
    old.format = 0x0100;
    std::vector<Bytes> seeds = {good, old.Build()};
    std::mt19937 gen(1234);
    for (int round = 0; round < 3000; ++round) {
        Bytes f = seeds[static_cast<size_t>(round) % seeds.size()];
        int changes = 1 + static_cast<int>(gen() % 8);
        for (int c = 0; c < changes; ++c)
            f[gen() % f.size()] = static_cast<uint8_t>(gen());
        ZedoDatabase db;
        int rc = ReadPbf(f, db, 0);
        EXPECT_TRUE(rc == 0 || rc == 5);
        if (rc == 0) {
            Bytes out;
            BuildPbf(db, 0, out);  // whatever was accepted must also be writable safely
        }
    }
}

}  // namespace
}  // namespace talmeru
