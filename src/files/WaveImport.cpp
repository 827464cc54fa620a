#include "files/WaveImport.h"

#include "files/FileWaveData.h"
#include "files/WaveDataLoader.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

SampleHeader* ImportWaveAsSample(ZedoDatabase& db, const std::string& path, int number, int channel,
                                 int options) {
    if (number < 0) number = db.FirstFreeSampleHeader();
    if (number < 0) return nullptr;
    if (db.WaveDataCount() >= kMaxWaveData) throw ZedoException("WaveDataList full!");

    auto header = std::make_unique<SampleHeader>();
    header->SetNumber(number);
    header->SetName(db.MakeUniqueName(kTypeSampleHeader, Utf8Prefix(StemOf(path), kNameLength)));
    header->SetDefaults();
    SampleHeader* s = header.get();
    db.PutSampleHeader(std::move(header));

    WaveData* wave = nullptr;
    for (int i = 0; i < db.WaveDataCount() && !wave; ++i) {
        WaveData* w = db.GetWaveData(i);
        if (w->StorageClass() == kFileLoaded && (w->path == path || w->wantedPath == path) &&
            (w->channel == channel || (channel == kWholeFile && w->channel == kLeftChannel))) {
            w->AddLink(number);
            wave = w;
        }
    }
    if (!wave) {
        auto created =
            CreateWaveDataByExtension(path, number, channel, (db.OpenOptions() & kOpenQuiet) != 0);
        if (!created || !created->valid || created->FormatTag() == -1) {
            db.DeleteObject(s);
            throw ZedoException("Could not load file");
        }
        wave = db.AddWaveData(std::move(created));
        // Without a synthesizer link the data always waits for the next synchronisation.
        wave->uploadPending[0] = wave->uploadPending[1] = true;
    }
    s->AttachWave(wave, kAttachPoints | kAttachReference | kAttachPitch | kAttachStereoName);

    if ((options & kImportStereoPairs) && wave->IsStereo() && channel == kWholeFile) {
        wave->channel = kLeftChannel;
        SampleHeader* right =
            ImportWaveAsSample(db, wave->path, -1, kRightChannel, options | kImportSendLater);
        if (right) PairStereo(*s, *right);
    }
    db.SetModified();
    return s;
}

Program* BuildProgramFromWave(ZedoDatabase& db, const std::string& path, bool replace,
                              Program* current) {
    SampleHeader* left =
        ImportWaveAsSample(db, path, -1, kWholeFile, kImportSendLater | kImportStereoPairs);
    if (!left) {
        ShowMessage("Could not create sample");
        return nullptr;
    }
    auto* right =
        left->stereoRole == kStereoLeft ? static_cast<SampleHeader*>(left->chained) : nullptr;
    std::string name = left->Name();
    if (right && !name.empty() && name.back() == 'L') name.pop_back();

    Program* program = nullptr;
    if (replace && current) {
        program = current;
        program->DeleteAllLayers();
    } else {
        int n = db.FirstFreeProgram();
        if (n < 0) {
            ShowMessage("Could not create program");
            return nullptr;
        }
        auto p = std::make_unique<Program>();
        p->SetNumber(n);
        p->SetName(db.MakeUniqueName(kTypeProgram, name));
        program = p.get();
        db.PutProgram(std::move(p));
    }

    Keymap* maps[2] = {nullptr, nullptr};
    SampleHeader* halves[2] = {left, right};
    for (int i = 0; i < 2 && halves[i]; ++i) {
        int n = db.FirstFreeKeymap();
        if (n < 0) {
            ShowMessage("Could not create keymap");
            return nullptr;
        }
        auto k = std::make_unique<Keymap>();
        k->SetNumber(n);
        k->SetName(db.MakeUniqueName(kTypeKeymap, halves[i]->Name()));
        k->entries = {{127, 0, halves[i]->Number()}};
        maps[i] = k.get();
        db.PutKeymap(std::move(k));
        halves[i]->marked = true;
        maps[i]->marked = true;
    }
    if (maps[1]) PairStereo(*maps[0], *maps[1]);
    if (!program->AddLayer(*maps[0], maps[1] != nullptr)) ShowMessage("Could not add layer(s).");
    program->marked = true;
    program->DropPackedCopy();
    db.SetModified();
    return program;
}

}  // namespace talmeru
