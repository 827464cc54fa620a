#include "widgets/WaveFileInfo.h"

#include <algorithm>
#include <filesystem>

#include "files/WavWaveData.h"
#include "model/NoteNames.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace fs = std::filesystem;

WaveFileInfo DescribeWaveFile(const std::string& path) {
    WaveFileInfo info;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return info;
    info.name = FileNameOf(path);
    // Browsing past other files must not raise a message for each of them.
    ScriptedPrompter quiet;
    ScopedPrompter scope(quiet);
    WavWaveData w(path, 0, kWholeFile, true);
    if (!w.valid || w.formatTag == -1) return info;
    info.readable = true;
    info.format = w.FormatName();
    info.bits = Fmt("%d", w.bitsSource);
    info.stereo = w.IsStereo();
    if (w.RootPitch() >= 0) info.originalNote = NoteName(NearestKey(w.RootPitch()));
    if (w.bitsSource > 0) {
        const long long frames = w.length / w.BytesPerFrame();
        info.samples = Fmt("%lld", frames * std::max(1, w.channels));
    }
    return info;
}

}  // namespace talmeru
