#include "editors/sample/SampleEditing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <set>

#include "application/EnvelopePresets.h"
#include "application/TalmeruApp.h"
#include "application/UndoHistory.h"
#include "files/WavWaveData.h"
#include "files/WaveImport.h"
#include "model/BankLink.h"
#include "model/BankTransfer.h"
#include "model/NoteNames.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/ByteSink.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"

namespace talmeru {

namespace fs = std::filesystem;

namespace {

int FloorDiv(int a, int b) {
    int q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::string NoteWithRemainder(int key, int remainder) {
    return Fmt("%s (%+5.1f)", NoteName(key).c_str(), remainder * 50.0 / 127.0);
}

// Stored offsets are unsigned to the synthesizer; the editor shows them in sample points.
std::string PointText(int32_t stored, int divisor) {
    return Fmt("%u", static_cast<uint32_t>(stored) / static_cast<uint32_t>(divisor));
}

// -1 is a sample that does not loop, not a point 2^31 words in; the synthesizer loops at
// no other negative offset either.
std::string LoopText(int32_t stored, int divisor) {
    return stored < 0 ? std::string(kNoLoopText) : PointText(stored, divisor);
}

int PointDivisor(const SampleHeader& h) {
    return (h.flags & kSixteenBit) ? 2 : 1;
}

bool HasWavFile(const WaveData& w) {
    return ToLower(w.path).find(".wav") != std::string::npos;
}

// Characters a file name cannot hold on some system, and control characters.
std::string SafeFileName(const std::string& name) {
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) ? '_'
                                                                                               : c;
    }
    if (out.empty() || out == "." || out == "..") out = "_";
    return out;
}

}  // namespace

std::string FractionalNoteText(double key) {
    if (key < 0 || !std::isfinite(key)) return "N/A";
    key = std::min(key, 1e6);
    const double k = std::floor(key);
    int d = static_cast<int>(std::trunc((key - k) * 256.0));
    int whole = static_cast<int>(k);
    if (d > 127) {
        ++whole;
        d -= 256;
    }
    return NoteWithRemainder(whole, d);
}

std::string MaxNoteText(int pitch) {
    const int value = 15360 + pitch;
    int semitone = FloorDiv(value, 256);
    int remainder = value - semitone * 256;
    if (remainder >= 128) {
        ++semitone;
        remainder -= 256;
    }
    return NoteWithRemainder(semitone, remainder);
}

double RootKeyOf(const SampleHeader& header) {
    const double rate = header.SampleRate();
    const double octaves = rate < 1 ? -12.0 : 12.0 * std::log2(rate / 88200.0);
    return std::max(0.0, 60.0 + header.pitch / 256.0 + octaves);
}

bool IsAliasHeader(const SampleHeader& header) {
    const WaveData* w = header.Wave();
    return w && w->base != header.Number() && w->StorageClass() != kNotSaved;
}

bool IsRomHeader(const SampleHeader& header) {
    return header.Wave() && header.Wave()->StorageClass() == kNotSaved;
}

SampleHeader* StereoPartner(const SampleHeader& header) {
    if (header.stereoRole != kStereoLeft) return nullptr;
    return dynamic_cast<SampleHeader*>(header.chained);
}

void CopySampleSettings(const SampleHeader& from, SampleHeader& to) {
    to.start = from.start;
    to.loopStart = from.loopStart;
    to.end = from.end;
    to.amp = from.amp;
    to.flags = from.flags;
    to.pitch = from.pitch;
    to.envelope = from.envelope;
}

std::vector<SampleRow> ListSampleRows(const ZedoDatabase& db, int filter) {
    std::vector<SampleRow> rows;
    for (int n = 0; n < kSlotCount; ++n) {
        SampleHeader* h = db.GetSampleHeader(n);
        if (!h || !h->Wave() || h->stereoRole == kStereoRight) continue;
        WaveData* w = h->Wave();
        const bool rom = IsRomHeader(*h);
        if ((filter == kSamplesRam && rom) || (filter == kSamplesRom && !rom)) continue;
        SampleRow row;
        row.number = n;
        row.icon = rom ? kIconRom : h->stereoRole != kMono ? kIconRamStereo : kIconRamMono;
        row.cells[0] = Fmt("%d", n);
        row.cells[1] = h->Name();
        row.cells[2] = w->FormatName();
        row.cells[3] = w->bitsSource > 0 ? Fmt("%d", w->bitsSource) : "-";
        row.cells[4] = w->StorageClass() == kFileLoaded ? Fmt("%d", h->SampleRate()) : "-";
        const int32_t bytes = w->base == n ? w->Length() : 0;
        row.cells[5] = bytes > 0 ? Fmt("%d", bytes) : "-";
        if (IsAliasHeader(*h))
            row.cells[6] = Fmt("(Alias to %d)", w->base);
        else if (h->stereoRole != kMono)
            row.cells[6] = Fmt("%s   %s", w->DisplayName().c_str(),
                               w->channel == kLeftChannel ? "(Left)" : "(Right)");
        else
            row.cells[6] = w->DisplayName();
        rows.push_back(std::move(row));
    }
    return rows;
}

SampleFieldsView DescribeSample(const SampleHeader* h, bool busy) {
    SampleFieldsView v;
    if (!h || busy) return v;
    v.enabled = true;
    const int div = PointDivisor(*h);
    if (h->flags & kSixteenBit) v.caption = "Sample Points (in 16-bit Words)";
    v.points = {PointText(h->start, div), LoopText(h->loopStart, div), PointText(h->end, div)};
    // A header made by an import rather than loaded has no points as loaded.
    if (h->origEnd > h->origStart)
        v.originals = {PointText(h->origStart, div), LoopText(h->origLoopStart, div),
                       PointText(h->origEnd, div)};
    v.maxNote = MaxNoteText(h->pitch);
    v.originalNote = FractionalNoteText(RootKeyOf(*h));
    const WaveData* w = h->Wave();
    v.actualNote = w && w->RootPitch() >= 0 ? FractionalNoteText(w->RootPitch()) : "";
    v.amp = h->amp;
    for (int bit = 0; bit < 3; ++bit)
        v.flags[size_t(bit)] = (h->flags & (1 << bit)) != 0;
    v.attackSegs = h->AttackCount();
    v.canPlay = w && HasWavFile(*w);
    v.canSpectrum = w && w->StorageClass() == kFileLoaded;
    return v;
}

std::string ExtractFileName(const std::string& chosen, const std::string& sampleName,
                            bool several) {
    if (!several) return chosen;
    const std::string name = SafeFileName(sampleName);
    if (size_t at = chosen.find("$$"); at != std::string::npos)
        return chosen.substr(0, at) + name + chosen.substr(at + 2);
    fs::path p(chosen);
    p.replace_filename(p.stem().string() + "_" + name + p.extension().string());
    return p.string();
}

SampleEditing::SampleEditing(TalmeruApp& app) : app_(app) {}

ZedoDatabase& SampleEditing::Bank() const {
    return app_.Bank();
}

std::vector<SampleRow> SampleEditing::Rows() const {
    return ListSampleRows(Bank(), filter_);
}

void SampleEditing::Select(std::vector<int> numbers) {
    selected_ = std::move(numbers);
}

SampleHeader* SampleEditing::Current() const {
    return selected_.size() == 1 ? Bank().GetSampleHeader(selected_.front()) : nullptr;
}

std::vector<SampleHeader*> SampleEditing::SelectedHeaders() const {
    std::vector<SampleHeader*> out;
    for (int n : selected_)
        if (SampleHeader* h = Bank().GetSampleHeader(n)) out.push_back(h);
    return out;
}

void SampleEditing::Record(SampleHeader& header) {
    if (SampleHeader* partner = StereoPartner(header)) {
        CopySampleSettings(header, *partner);
        app_.Changed(*partner);
    }
    app_.Changed(header);
}

int SampleEditing::SetPoint(int which, const std::string& text) {
    SampleHeader* h = Current();
    if (!h || which < kPointStart || which > kPointEnd) return 0;
    int32_t& field = which == kPointStart ? h->start : which == kPointLoop ? h->loopStart : h->end;
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return 0;
    long long n = 0;
    const char* b = text.data() + first;
    const char* e = text.data() + last + 1;
    auto [ptr, ec] = std::from_chars(b, e, n);
    if (ec != std::errc() || ptr != e) return 0;
    const uint32_t div = static_cast<uint32_t>(PointDivisor(*h));
    // Leaving the field unchanged must not round an odd stored offset down.
    if (n >= 0 && static_cast<unsigned long long>(n) == static_cast<uint32_t>(field) / div)
        return 0;
    int32_t stored = 0;
    if (n == -1 && which == kPointLoop) {
        stored = -1;  // not looped
    } else if (n < 0 || static_cast<unsigned long long>(n) * div > 0xFFFFFFFFull) {
        return 0;
    } else {
        stored = static_cast<int32_t>(static_cast<uint32_t>(n) * div);
    }
    const int changed = which == kPointStart  ? h->SetStart(stored)
                        : which == kPointLoop ? h->SetLoopStart(stored)
                                              : h->SetEnd(stored);
    if (changed) Record(*h);
    return changed;
}

int SampleEditing::ResetPoints() {
    EditStep undoStep(app_, "Reset Points");
    SampleHeader* h = Current();
    if (!h) return 0;
    int changed = h->SetStart(h->origStart);
    changed |= h->SetLoopStart(h->origLoopStart);
    changed |= h->SetEnd(h->origEnd);
    if (changed) Record(*h);
    return changed;
}

int SampleEditing::StepPitch(int delta, bool coarse) {
    SampleHeader* h = Current();
    if (!h || delta == 0) return 0;
    const long long value = h->pitch + static_cast<long long>(delta) * (coarse ? 256 : 1);
    if (value < -32767 || value > 32767) return 0;
    h->pitch = static_cast<int>(value);
    Record(*h);
    return 1;
}

int SampleEditing::SetAmp(int dB) {
    SampleHeader* h = Current();
    if (!h || dB < -32 || dB > 32 || !h->SetAmp(dB)) return 0;
    Record(*h);
    return 1;
}

int SampleEditing::SetFlag(int bit, bool on) {
    SampleHeader* h = Current();
    if (!h || bit < 0 || bit > 2) return 0;
    const int flags = on ? (h->flags | (1 << bit)) : (h->flags & ~(1 << bit));
    if (flags == h->flags) return 0;
    h->flags = flags;
    Record(*h);
    return 1;
}

int SampleEditing::SetAttackSegs(int count) {
    SampleHeader* h = Current();
    if (!h || count < 0 || count > 8) return 0;
    const auto before = h->envelope;
    h->SetAttackCount(count);
    if (h->envelope.size() == before.size() &&
        std::equal(before.begin(), before.end(), h->envelope.begin(),
                   [](auto& a, auto& b) { return a.slope == b.slope && a.duration == b.duration; }))
        return 0;
    Record(*h);
    return 1;
}

SampleEditing::FramePoints SampleEditing::PointsInFrames(const SampleHeader& h) {
    const uint32_t div = static_cast<uint32_t>(PointDivisor(h));
    auto frames = [div](int32_t stored) { return int64_t{static_cast<uint32_t>(stored) / div}; };
    return {frames(h.start), h.loopStart < 0 ? -1 : frames(h.loopStart), frames(h.end)};
}

SampleEditing::FrameSpan SampleEditing::SampleSpan(const FramePoints& p, int64_t frames) {
    const auto all = static_cast<double>(std::max<int64_t>(1, frames));
    const double start = std::clamp(static_cast<double>(p.start), 0.0, all);
    const double end = std::clamp(static_cast<double>(p.end), start, all);
    if (end - start < 1) return {0, all};
    // A twentieth of the sample either side, so that the start and end markers stand clear.
    const double margin = (end - start) / 20;
    const double from = std::max(0.0, start - margin);
    return {from, std::min(all, end + margin) - from};
}

double SampleEditing::ZoomAnchor(const FramePoints& p, double viewStart, double viewSpan) {
    const double middle = viewStart + viewSpan / 2;
    if (p.loop < 0 || p.end <= p.loop) return middle;
    const double loop = (static_cast<double>(p.loop) + static_cast<double>(p.end)) / 2;
    return loop >= viewStart && loop <= viewStart + viewSpan ? loop : middle;
}

std::shared_ptr<const WavePeaks> SampleEditing::Frames(const SampleHeader& header) {
    return header.Wave() ? peaks_.Get(*header.Wave()) : nullptr;
}

int SampleEditing::MovePoint(int which, int64_t frame) {
    if (frame < 0) return 0;
    return SetPoint(which, Fmt("%lld", static_cast<long long>(frame)));
}

std::optional<LoopProposal> SampleEditing::ProposeLoop() {
    SampleHeader* h = Current();
    if (!h || !h->Wave()) return std::nullopt;
    const auto wave = Frames(*h);
    if (!wave) return std::nullopt;
    const FramePoints p = PointsInFrames(*h);
    int64_t end = std::min(p.end, wave->Frames());
    const bool loops = p.loop >= p.start && p.loop < end;
    // About 10 ms compared, points moved by up to 25 ms: a period of the lowest notes.
    const double rate = std::max(1000, h->SampleRate());
    LoopSearch search;
    search.window = static_cast<int>(std::clamp(rate * 0.010, 64.0, 2048.0));
    search.radius = static_cast<int>(std::clamp(rate * 0.025, 256.0, 8192.0));
    // A sample without a loop is looped up to where its level is still its own, not in the
    // fade at its end; a loop already set keeps its end nearby.
    if (!loops) end = SteadyEnd(wave->Data(), p.start, end, search.window);
    const int64_t loop = loops ? p.loop : p.start + (end - p.start) / 2;
    return talmeru::FindLoop(wave->Data(), p.start, loop, end, search);
}

int SampleEditing::FindLoop() {
    const std::optional<LoopProposal> found = ProposeLoop();
    SampleHeader* h = Current();
    if (!found || !h) return 0;
    EditStep step(app_, "Find Loop");
    const auto div = static_cast<int64_t>(PointDivisor(*h));
    int changed = h->SetLoopStart(static_cast<int32_t>(found->loopStart * div));
    changed |= h->SetEnd(static_cast<int32_t>(found->end * div));
    if (changed) Record(*h);
    return changed;
}

std::optional<double> SampleEditing::DetectRootKey() {
    SampleHeader* h = Current();
    if (!h || !h->Wave()) return std::nullopt;
    const auto wave = Frames(*h);
    if (!wave) return std::nullopt;
    const FramePoints p = PointsInFrames(*h);
    const double rate = h->SampleRate();
    const int64_t end = std::min(p.end, wave->Frames());
    // The steady part: the loop when it is long enough, else what follows the attack.
    int64_t from = p.start + (end - p.start) / 8;
    if (p.loop >= p.start && end - p.loop >= 4096) from = p.loop;
    const int64_t to = std::min(end, from + static_cast<int64_t>(2 * rate));
    const std::optional<double> hz = talmeru::DetectPitch(wave->Data(), from, to, rate);
    if (!hz) return std::nullopt;
    return KeyOfFrequency(*hz);
}

int SampleEditing::DetectPitch() {
    const std::optional<double> key = DetectRootKey();
    SampleHeader* h = Current();
    if (!key || !h) return 0;
    EditStep step(app_, "Detect Pitch");
    const int before = h->pitch;
    h->SetPitch(*key);
    if (h->pitch == before) return 0;
    Record(*h);
    return 1;
}

void SampleEditing::ToggleLoops() {
    for (SampleHeader* h : SelectedHeaders()) {
        if (static_cast<uint32_t>(h->loopStart) > static_cast<uint32_t>(h->start))
            h->SetLoopStart(h->start);
        else
            h->SetLoopStart(h->end);
        Record(*h);
    }
}

int SampleEditing::MakeAliases() {
    EditStep undoStep(app_, "Make Aliases");
    if (!app_.Editable()) return -1;
    ZedoDatabase& db = Bank();
    int last = -1;
    // A new header playing source's wave data: its settings, its own name and number.
    auto aliasOf = [&db](const SampleHeader& source) -> SampleHeader* {
        const int n = db.FirstFreeSampleHeader();
        if (n < 0) return nullptr;
        auto alias = std::make_unique<SampleHeader>();
        alias->CopyFrom(source);
        alias->SetNumber(n);
        alias->SetName(db.MakeUniqueName(kTypeSampleHeader, source.Name()));
        alias->stereoRole = kMono;
        alias->chained = nullptr;
        SampleHeader* made = alias.get();
        db.PutSampleHeader(std::move(alias));
        if (WaveData* w = made->Wave()) w->AddUser(n, db.Link());
        return made;
    };
    for (int number : std::vector<int>(selected_)) {
        SampleHeader* source = db.GetSampleHeader(number);
        if (!source || !source->Wave()) continue;
        SampleHeader* alias = aliasOf(*source);
        if (!alias) {
            ShowMessage("There is no free sample header number for the alias.");
            break;
        }
        // The alias of a stereo pair is a stereo pair of its own, so that neither pair shares
        // (or loses) the other's right half.
        if (SampleHeader* right = StereoPartner(*source)) {
            if (SampleHeader* rightAlias = aliasOf(*right)) {
                PairStereo(*alias, *rightAlias);
                app_.Changed(*rightAlias);
            }
        }
        app_.Changed(*alias);
        last = alias->Number();
    }
    if (last >= 0) app_.Refresh(kHintSamples);
    return last;
}

int SampleEditing::ApplyPreset(int index, const std::string& name) {
    EditStep undoStep(app_, "Apply Envelope Preset");
    const EnvelopePresets presets(app_.Settings(), kNaturalEnvelope);
    int count = 0;
    for (SampleHeader* h : SelectedHeaders()) {
        if (index == 0) {
            MakeFlatEnvelope(*h);
        } else if (index == 1) {
            MakePercussiveEnvelope(*h);
        } else if (index < 0 || presets.Apply(name, *h) != 0) {
            continue;
        }
        Record(*h);
        ++count;
    }
    return count;
}

int SampleEditing::AddPreset(const std::string& name) {
    SampleHeader* h = Current();
    if (!h) return -1;
    EnvelopePresets presets(app_.Settings(), kNaturalEnvelope);
    if (presets.Save(name, h->envelope) < 0) return -1;
    const std::vector<std::string> names = presets.ListNames();
    const auto at = std::find(names.begin(), names.end(), PresetName(name));
    return at == names.end() ? -1 : static_cast<int>(at - names.begin());
}

int SampleEditing::DeletePreset(int index, const std::string& name) {
    EnvelopePresets presets(app_.Settings(), kNaturalEnvelope);
    if (index < 0) return 1;
    if (index < presets.BuiltInCount()) {
        ShowMessage("This preset can not be deleted");
        return 1;
    }
    return presets.Delete(name);
}

void SampleEditing::DeleteCommand() const {
    ShowMessage(
        "To delete samples, remove all references to them from the keymaps, and then select the "
        "\"Edit|Purge Unused\" menu command.");
}

int SampleEditing::NewSamples(const std::vector<std::string>& paths) {
    EditStep undoStep(app_, "Import Samples");
    if (paths.empty() || !app_.Editable()) return -1;
    ZedoDatabase& db = Bank();
    app_.FlushPendingEdits();
    db.ClearMarks();
    int last = -1;
    for (const std::string& path : paths) {
        SampleHeader* made = nullptr;
        try {
            made = ImportWaveAsSample(db, path, -1, kWholeFile, kImportStereoPairs);
        } catch (const ZedoException&) {
            made = nullptr;
        }
        if (!made) {
            ShowMessage("Error loading sample");
            break;
        }
        made->marked = true;
        if (SampleHeader* right = StereoPartner(*made)) right->marked = true;
        last = made->Number();
    }
    db.SetModified(true);
    app_.UploadMarked();
    app_.Refresh(kHintSamples);
    return last;
}

ExtractPlan SampleEditing::PlanExtract() const {
    ExtractPlan plan;
    for (SampleHeader* h : SelectedHeaders()) {
        const WaveData* w = h->Wave();
        if (w && w->StorageClass() == kFileLoaded && w->base == h->Number())
            plan.numbers.push_back(h->Number());
    }
    if (plan.numbers.size() == 1) {
        plan.proposedName = Bank().GetSampleHeader(plan.numbers.front())->Name() + ".wav";
        plan.warning =
            "Warning: Do not save this extracted wave file on top of an existing file that is in "
            "use by a .pbf file!";
    } else if (plan.numbers.size() > 1) {
        plan.proposedName = "$$.wav";
        plan.warning =
            "The wave file name for each of the selected samples will be constructed by "
            "replacing the \"$$\" in the next file dialog with the sample name.  Warning: Do not "
            "save these extracted wave files on top of any existing files that are in use by a "
            ".pbf file!";
    }
    return plan;
}

int SampleEditing::Extract(const ExtractPlan& plan, const std::string& chosen) {
    EditStep undoStep(app_, "Extract Sample");
    const bool several = plan.numbers.size() > 1;
    std::set<std::string> used;
    int written = 0;
    for (int number : plan.numbers) {
        SampleHeader* h = Bank().GetSampleHeader(number);
        if (!h || !h->Wave()) continue;
        std::string path = ExtractFileName(chosen, h->Name(), several);
        // Two samples of one name must not overwrite each other's file.
        if (several && !used.insert(path).second) {
            path = ExtractFileName(chosen, Fmt("%s_%d", h->Name().c_str(), number), true);
            used.insert(path);
        }
        SampleHeader* partner = StereoPartner(*h);
        WaveData* right = partner ? partner->Wave() : nullptr;
        // The sources are checked before the file is made; the data go into it in pieces.
        if (h->Wave()->CheckSource() != 0 || (right && right->CheckSource() != 0)) continue;
        bool shown = false;
        const AtomicWrite done = ReplaceFileThroughSink(
            path, [&](ByteSink& out) { return WriteWav(out, *h->Wave(), right, shown); });
        if (!done) {
            if (!shown) ShowMessage(Fmt("Could not write the wave file \"%s\".", path.c_str()));
            continue;
        }
        ++written;
    }
    return written;
}

bool SampleEditing::RunWaveEditor(const EditorRunner& run, const ChangesChooser& choose) {
    EditStep undoStep(app_, "Edit Wave Data");
    const std::string editor = app_.Options().waveEditorPath;
    if (editor.empty()) {
        ShowMessage("No wave editor defined in properties.");
        return false;
    }
    if (selected_.empty()) return false;
    SampleHeader* h = Bank().GetSampleHeader(selected_.front());
    auto* wav = h ? dynamic_cast<WavWaveData*>(h->Wave()) : nullptr;
    // Only a WAV file of its own: an image inside a bank file is not the editor's to change.
    if (!wav || wav->StorageClass() != kFileLoaded || wav->fileOffset != 0 || !HasWavFile(*wav))
        return false;
    const std::string original = wav->path;
    const int number = h->Number();

    // The editor works on a copy, so that a file it leaves damaged never replaces the sample.
    std::error_code ec;
    const auto placeholder = CreateUniqueFile(fs::temp_directory_path(ec), "TalmeruTemp");
    if (!placeholder) {
        ShowMessage("Could not create a temporary file for the wave editor.");
        return false;
    }
    const fs::path temp = fs::path(placeholder->string() + ".wav");
    struct Cleanup {
        fs::path a, b;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove(a, ignored);
            fs::remove(b, ignored);
        }
    } cleanup{*placeholder, temp};
    if (!fs::copy_file(original, temp, fs::copy_options::none, ec)) {
        ShowMessage(Fmt("Could not copy \"%s\" for the wave editor.", original.c_str()));
        return false;
    }
    const auto before = fs::last_write_time(temp, ec);
    run(editor, temp.string());
    const auto after = fs::last_write_time(temp, ec);
    if (ec || after == before) return false;

    {
        WavWaveData probe(temp.string(), 0, kWholeFile, true);
        if (!probe.valid || probe.formatTag == -1) {
            ShowMessage(
                Fmt("The wave editor did not leave a readable wave file; \"%s\" is "
                    "unchanged.",
                    original.c_str()));
            return false;
        }
    }
    // Copied in pieces: an edited sample may be far larger than we want to hold.
    FileSource edited(temp.string());
    auto copy = [&](ByteSink& out) {
        std::vector<uint8_t> piece(size_t{1} << 20);
        for (uint64_t at = 0; at < edited.Size(); at += piece.size()) {
            piece.resize(size_t(std::min<uint64_t>(piece.size(), edited.Size() - at)));
            if (edited.ReadAt(at, piece.data(), piece.size()) != piece.size() || !out.Write(piece))
                return false;
        }
        return true;
    };
    if (!edited.Ok() || !MayReplace(original) || !ReplaceFileThroughSink(original, copy)) {
        ShowMessage(Fmt("Could not replace \"%s\" with the edited file.", original.c_str()));
        return false;
    }
    // Every wave data of the file reads it again; its data is loaded afresh when next used.
    ZedoDatabase& db = Bank();
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        auto* w = dynamic_cast<WavWaveData*>(db.GetWaveData(i));
        if (w && w->path == original && w->fileOffset == 0) {
            w->ReadHeader();
            w->ReleaseData();
        }
    }
    h = db.GetSampleHeader(number);
    if (!h || !h->Wave()) return false;
    const std::optional<int> what = choose(original, OfferFor(*h));
    if (!what) return false;
    return ApplyWaveEdit(number, *what);
}

WaveEditOffer SampleEditing::OfferFor(const SampleHeader& h) const {
    WaveEditOffer offer;
    const WaveData* w = h.Wave();
    if (!w) return offer;
    if (w->RootPitch() >= 0) {
        offer.noteAvailable = true;
        offer.noteText =
            Fmt("Old note: %s New note: %s", NoteName(NearestKey(RootKeyOf(h))).c_str(),
                NoteName(NearestKey(w->RootPitch())).c_str());
    } else {
        offer.noteText = "(No Original Key Info)";
    }
    if (w->LoopStart() < w->End()) {
        // The file's points as the header would store them, so both lines compare.
        const uint32_t bpf = static_cast<uint32_t>(w->BytesPerFrame());
        offer.pointsAvailable = true;
        offer.pointsText =
            Fmt("Old settings: %u %u %u\r\nNew settings: %u %u %u", static_cast<uint32_t>(h.start),
                static_cast<uint32_t>(h.loopStart), static_cast<uint32_t>(h.end),
                static_cast<uint32_t>(w->SampleStart()) * bpf,
                static_cast<uint32_t>(w->LoopStart()) * bpf, static_cast<uint32_t>(w->End()) * bpf);
    } else {
        offer.pointsText = "(No Loop Info)";
    }
    return offer;
}

bool SampleEditing::ApplyWaveEdit(int number, int what) {
    ZedoDatabase& db = Bank();
    SampleHeader* h = db.GetSampleHeader(number);
    if (!h || !h->Wave()) return false;
    WaveData* w = h->Wave();
    SampleHeader* partner = StereoPartner(*h);
    db.ClearMarks();
    bool updated = false;
    if (what & kUpdateWaveform) {
        w->uploadPending[0] = w->uploadPending[1] = true;
        h->marked = true;
        if (partner && partner->Wave()) {
            partner->Wave()->uploadPending[0] = partner->Wave()->uploadPending[1] = true;
            partner->marked = true;
        }
        updated = true;
    }
    const int attach = what & (kUpdateNote | kUpdatePoints);
    if (attach) {
        h->AttachWave(w, attach);
        h->marked = true;
        if (partner) {
            CopySampleSettings(*h, *partner);
            partner->marked = true;
        }
        updated = true;
    }
    if (!updated) return false;
    db.SetModified(true);
    app_.UploadMarked();
    app_.Refresh(kHintSamples);
    return true;
}

}  // namespace talmeru
