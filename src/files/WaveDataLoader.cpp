#include "files/WaveDataLoader.h"

#include "files/K2000WaveData.h"
#include "files/Sf2WaveData.h"
#include "files/WavWaveData.h"
#include "platform/Format.h"

#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"

namespace talmeru {

namespace {

std::string ExtensionOf(const std::string& path) {
    std::string name = ToLower(FileNameOf(path));
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace

bool IsSampleFileName(const std::string& path) {
    const std::string ext = ExtensionOf(path);
    return ext == ".wav" || ext == ".krz" || ext == ".k25" || ext == ".sf2" || ext == ".sf3";
}

std::unique_ptr<WaveData> CreateWaveDataByExtension(const std::string& path, int base, int channel,
                                                    bool quiet) {
    const std::string ext = ExtensionOf(path);
    if (ext == ".wav") return std::make_unique<WavWaveData>(path, base, channel, quiet);
    if (ext == ".krz" || ext == ".k25")
        return std::make_unique<K2000WaveData>(path, base, channel, quiet);
    if (ext == ".sf2" || ext == ".sf3")
        return std::make_unique<Sf2WaveData>(path, base, channel, quiet);
    return nullptr;
}

WaveData* LoadWaveDataForHeader(ZedoDatabase& db, SampleHeader* header, const std::string& path,
                                int number, int channel) {
    if (db.WaveDataCount() >= kMaxWaveData) throw ZedoException("WaveDataList full!");
    WaveData* wave = nullptr;
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        if (w->StorageClass() == kFileLoaded && (w->path == path || w->wantedPath == path) &&
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
        // A file that is there but holds no readable sample data is as good as a missing one.
        if (!created->valid || created->FormatTag() == -1)
            created = std::make_unique<InvalidWaveData>(number, path, channel);
        wave = db.AddWaveData(std::move(created));
    }
    if (header) header->AttachWave(wave, kAttachReference);
    if (wave->base == number) wave->uploadPending[0] = wave->uploadPending[1] = true;
    return wave;
}

}  // namespace talmeru
