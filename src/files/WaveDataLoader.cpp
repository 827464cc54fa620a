#include "files/WaveDataLoader.h"

#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"

namespace talmeru {

std::unique_ptr<WaveData> CreateWaveDataByExtension(const std::string&, int, int, bool) {
    // No file kind of wave data is readable yet: every path is refused, so a bank that
    // names sample files fails to load with "Could not load file" instead of losing them.
    return nullptr;
}

WaveData* LoadWaveDataForHeader(ZedoDatabase& db, SampleHeader* header, const std::string& path,
                                int number, int channel) {
    if (db.WaveDataCount() >= kMaxWaveData) throw ZedoException("WaveDataList full!");
    WaveData* wave = nullptr;
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        if (w->StorageClass() == kFileLoaded && w->path == path &&
            (w->channel == channel || (channel == kWholeFile && w->channel == kLeftChannel))) {
            w->AddLink(number);
            wave = w;
            break;
        }
    }
    if (!wave) {
        auto created =
            CreateWaveDataByExtension(path, number, channel, (db.OpenOptions() & kOpenQuiet) != 0);
        if (!created) throw ZedoException("Could not load file");
        if (!created->valid) created = std::make_unique<InvalidWaveData>(number, path, channel);
        wave = db.AddWaveData(std::move(created));
    }
    if (header) header->AttachWave(wave, kAttachReference);
    if (wave->base == number) wave->uploadPending[0] = wave->uploadPending[1] = true;
    return wave;
}

}  // namespace talmeru
