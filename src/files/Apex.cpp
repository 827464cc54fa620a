#include "files/Apex.h"

#include <filesystem>

#include "files/BankReadError.h"
#include "files/FileWaveData.h"
#include "files/Pbf.h"
#include "files/WavWaveData.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/ByteIO.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"

namespace talmeru {

namespace {

constexpr size_t kHeaderSize = 452;

}  // namespace

int ReadApex(const std::string& path, ZedoDatabase& db) {
    FileSource src(path);
    if (!src.Ok()) {
        ShowMessage(OpeningProblem(path, src.Error()));
        return 1;
    }
    std::string abs =
        Utf8FromPath(std::filesystem::absolute(PathFromUtf8(path)).lexically_normal());
    int result = 0;
    try {
        uint8_t header[kHeaderSize];
        if (src.ReadAt(0, header, kHeaderSize) != kHeaderSize) Fail("Apex Header not ok");
        ByteReader h(header, kHeaderSize);
        std::string studio = h.FixedString(32);
        std::string synth = h.FixedString(32);
        if (studio != "AVM Sample Studio" || synth != "Kurzweil MA-1")
            Fail("This is not a recognized Apex file.");
        h.Seek(204);
        db.SetComment(h.FixedString(32));
        h.Seek(302);
        int records = h.U16();
        uint32_t waves = h.U32();
        h.Seek(316);
        uint64_t objectsAt = h.U32();
        uint64_t wavesAt = h.U32();

        RecordCounts counts{};
        for (int i = 0; i < records; ++i)
            objectsAt = ReadObjectRecordAt(src, objectsAt, db, counts);

        uint64_t at = wavesAt;
        const bool quiet = (db.OpenOptions() & kOpenQuiet) != 0;
        for (uint32_t i = 0; i < waves; ++i) {
            uint8_t rec[12];
            if (src.ReadAt(at, rec, sizeof rec) != sizeof rec) {
                // The file ends inside the wave records: keep what was read.
                ShowMessage(Fmt("Couldn't create wavefile: %s\n", "unexpected end of file"));
                break;
            }
            ByteReader fields(rec, sizeof rec);
            int number = fields.U16();
            fields.Skip(6);
            uint64_t size = fields.U32();
            at += sizeof rec;
            if (SampleHeader* s = db.GetSampleHeader(number)) {
                if (db.WaveDataCount() >= kMaxWaveData) Fail("WaveDataList full!");
                std::unique_ptr<WaveData> w =
                    std::make_unique<WavWaveData>(abs, number, kWholeFile, quiet, at);
                if (!w->valid || w->FormatTag() == -1)
                    w = std::make_unique<InvalidWaveData>(number, abs, kWholeFile);
                s->AttachWave(db.AddWaveData(std::move(w)), kAttachReference);
            } else {
                ShowMessage("wavedata without sample, skipping");
            }
            at += size;
        }
    } catch (const BankReadError& e) {
        ShowMessage(e.text);
        result = 5;
    } catch (const ZedoException& e) {
        ShowMessage(e.what());
        result = 5;
    }
    AttachRomToTheRest(db);
    if (result == 0) db.SetPath(Utf8FromPath(PathFromUtf8(db.Path()).replace_extension(".pbf")));
    return result;
}

}  // namespace talmeru
