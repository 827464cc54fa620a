#include "model/WaveMerge.h"

#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

MergedWaveData::MergedWaveData(int baseNumber) {
    base = baseNumber;
    bitsSource = bitsHeld = 16;
    sampleRate = 44100;
    length = 0;
    uploadPending[0] = uploadPending[1] = true;
}

std::unique_ptr<WaveData> MergedWaveData::Clone() const {
    auto copy = std::make_unique<MergedWaveData>(base);
    copy->name = name;
    copy->length = length;
    copy->loopStart = loopStart;
    copy->end = end;
    copy->links = links;
    copy->regions = regions;
    for (const auto& m : members)
        copy->members.push_back(m->Clone());
    return copy;
}

int MergedWaveData::LoadData() {
    if (loaded) return kOk;
    std::vector<uint8_t> block;
    block.reserve(static_cast<size_t>(std::max(length, 0)));
    for (const auto& m : members) {
        if (m->LoadData() != kOk) {
            ShowMessage("Error in Loading Wavedata");
            return kFailed;
        }
        block.insert(block.end(), m->data.begin(), m->data.end());
        block.push_back(0);
        block.push_back(0);
        m->ReleaseData();
    }
    data = std::move(block);
    length = static_cast<int32_t>(data.size());
    loaded = true;
    return kOk;
}

void MergeWaveData(ZedoDatabase& db) {
    constexpr int32_t kBlockLimit = 0x100000;
    db.SetMerged(true);
    std::string bankName = StemOf(db.Path());
    std::vector<std::unique_ptr<WaveData>> all = db.TakeWaveData();
    std::vector<std::unique_ptr<WaveData>> kept;
    std::unique_ptr<MergedWaveData> block;
    int32_t used = 0;
    int counter = 0;

    auto close = [&](bool last) {
        SampleHeader* h = db.GetSampleHeader(block->base);
        block->name = Fmt("%s-%d : %d KB", bankName.c_str(), counter++, used / 1024);
        block->length = used;
        if (h) {
            h->start = 0;
            h->loopStart = last ? 0 : used + 2;
            h->end = last ? used : used + 2;
            h->SetName(block->name);
            h->DropPackedCopy();
        }
        block->loopStart = block->end = used / 2;
        kept.push_back(std::move(block));
    };

    for (auto& w : all) {
        int32_t len = w->StorageClass() == kFileLoaded ? w->Length() : -1;
        if (len < 0 || len > kBlockLimit) {
            kept.push_back(std::move(w));
            continue;
        }
        if (block && len + used > kBlockLimit) close(false);
        if (!block) {
            int n = db.FirstFreeSampleHeader();
            if (n < 0) {
                kept.push_back(std::move(w));
                continue;
            }
            auto h = std::make_unique<SampleHeader>();
            h->SetNumber(n);
            h->SetName(db.MakeUniqueName(kTypeSampleHeader, "MergedWaveData"));
            h->SetDefaults();
            block = std::make_unique<MergedWaveData>(n);
            h->AttachWave(block.get(), kAttachReference);
            db.PutSampleHeader(std::move(h));
            used = 0;
        }
        // Every header that plays this wave data now plays its stretch of the block.
        std::vector<int> users;
        if (w->base >= 0) users.push_back(w->base);
        for (const auto& l : w->links)
            users.push_back(l.number);
        for (int u : users) {
            if (SampleHeader* s = db.GetSampleHeader(u)) {
                s->start += used;
                if (s->loopStart >= 0) s->loopStart += used;
                s->end += used;
                s->AttachWave(block.get(), kAttachReference);
            }
            block->links.push_back({u, true});
        }
        used += len + 2;
        block->members.push_back(std::move(w));
    }
    if (block) close(true);
    db.PutWaveData(std::move(kept));
}

}  // namespace talmeru
