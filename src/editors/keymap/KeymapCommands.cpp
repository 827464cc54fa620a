#include "editors/keymap/KeymapCommands.h"

#include <algorithm>

#include "application/BankEdits.h"
#include "editors/controls/KeyMatrixModel.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

// The right half follows an entry edit only while it has the same ranges as the left half;
// otherwise the same index would name different keys.
bool SameRanges(const Keymap& a, const Keymap& b) {
    if (a.entries.size() != b.entries.size()) return false;
    for (size_t i = 0; i < a.entries.size(); ++i)
        if (a.entries[i].topKey != b.entries[i].topKey) return false;
    return true;
}

}  // namespace

Layer* KeymapCommands::FindLayer(int layerIndex) const {
    const Program* p = edits_.Bank().GetProgram(program_);
    return p && layerIndex >= 0 ? p->GetLayer(layerIndex) : nullptr;
}

Keymap* KeymapCommands::Partner(const Keymap& k) const {
    if (k.stereoRole != kStereoLeft || !k.chained) return nullptr;
    Keymap* p = edits_.Bank().GetKeymap(k.chained->Number());
    return p == k.chained && p != &k ? p : nullptr;
}

void KeymapCommands::MarkKeymap(Keymap& k) {
    edits_.Changed(k);
    if (Keymap* p = Partner(k)) edits_.Changed(*p);
}

void KeymapCommands::MarkProgram() {
    if (Program* p = edits_.Bank().GetProgram(program_)) edits_.Changed(*p);
}

bool KeymapCommands::CommitDrag(int layerIndex, int keymap, int mode, int from, int to,
                                int offset) {
    if (from < 0 || to < 0 || from > 127 || to > 127) return false;
    const int lo = std::min(from, to), hi = std::max(from, to);
    Keymap* k = edits_.Bank().GetKeymap(keymap);
    if (k) edits_.KeepUndoKeymap(*k);
    if (mode == kEditLayerRange) {
        Layer* l = FindLayer(layerIndex);
        if (!l) return false;
        l->keyLow = uint8_t(lo);
        l->keyHigh = uint8_t(hi);
        l->UpdateRightHalf();
        MarkProgram();
        return true;
    }
    if (!k) return false;
    // Ranges are drawn shifted by the timbre shift; keys shifted past either end of the
    // keyboard are left out rather than stored out of range.
    const int a = std::max(lo - offset, 0), b = std::min(hi - offset, 127);
    if (a > b) return false;
    Keymap* partner = Partner(*k);
    k->MakeRange(a, b);
    if (partner) partner->MakeRange(a, b);
    MarkKeymap(*k);
    MarkProgram();
    return true;
}

bool KeymapCommands::DeleteRange(int keymap, size_t entry) {
    Keymap* k = edits_.Bank().GetKeymap(keymap);
    // A keymap keeps at least one range.
    if (!k || entry >= k->entries.size() || k->entries.size() < 2) return false;
    Keymap* partner = Partner(*k);
    if (partner && !SameRanges(*k, *partner)) partner = nullptr;
    for (Keymap* m : {k, partner}) {
        if (!m) continue;
        const bool last = entry + 1 == m->entries.size();
        const int top = m->entries[entry].topKey;
        m->DeleteEntry(entry);
        // The last range gone, the one before it takes over its keys.
        if (last) m->entries.back().topKey = top;
    }
    MarkKeymap(*k);
    MarkProgram();
    return true;
}

bool KeymapCommands::SplitRange(int keymap, size_t entry) {
    Keymap* k = edits_.Bank().GetKeymap(keymap);
    if (!k || entry >= k->entries.size() || k->LowKey(entry) >= k->entries[entry].topKey)
        return false;
    Keymap* partner = Partner(*k);
    if (partner && SameRanges(*k, *partner)) partner->SplitEntry(entry);
    k->SplitEntry(entry);
    MarkKeymap(*k);
    MarkProgram();
    return true;
}

bool KeymapCommands::SilentRange(int keymap, size_t entry) {
    Keymap* k = edits_.Bank().GetKeymap(keymap);
    if (!k || entry >= k->entries.size()) return false;
    k->entries[entry].sample = kNoSample;
    Keymap* partner = Partner(*k);
    if (partner && SameRanges(*k, *partner)) partner->entries[entry].sample = kNoSample;
    MarkKeymap(*k);
    return true;
}

bool KeymapCommands::ReplaceSample(int keymap, size_t entry, int sample) {
    Keymap* k = edits_.Bank().GetKeymap(keymap);
    SampleHeader* h = edits_.Bank().GetSampleHeader(sample);
    if (!k || !h || entry >= k->entries.size()) return false;
    k->entries[entry].sample = sample;
    edits_.Changed(*h);
    Keymap* partner = Partner(*k);
    if (partner && SameRanges(*k, *partner) && h->stereoRole == kStereoLeft && h->chained) {
        if (SampleHeader* right = edits_.Bank().GetSampleHeader(h->chained->Number())) {
            partner->entries[entry].sample = right->Number();
            edits_.Changed(*right);
        }
    }
    MarkKeymap(*k);
    return true;
}

int KeymapCommands::AmpSliderValue(int value, bool fullRange) {
    value = std::clamp(value, kAmpSliderMin, kAmpSliderMax);
    return !fullRange && value >= kAmpSafeMax ? kAmpSafeMax : value;
}

std::optional<int> KeymapCommands::AdjustAmplitude(int keymap, size_t entry, int value,
                                                   bool fullRange) {
    Keymap* k = edits_.Bank().GetKeymap(keymap);
    if (!k || entry >= k->entries.size()) return std::nullopt;
    value = AmpSliderValue(value, fullRange);
    k->entries[entry].amp = value;
    Keymap* partner = Partner(*k);
    if (partner && SameRanges(*k, *partner)) partner->entries[entry].amp = value;
    MarkKeymap(*k);
    return value;
}

bool KeymapCommands::ChooseKeymap(int layerIndex, int keymap) {
    Layer* l = FindLayer(layerIndex);
    const Keymap* k = edits_.Bank().GetKeymap(keymap);
    if (!l || !k) return false;
    l->keymap = uint16_t(keymap);
    if (l->StereoState() == kStereoLeft && l->Partner()) {
        // Only a stereo keymap plays a stereo layer: the right half takes its partner.
        if (const Keymap* right = Partner(*k)) l->Partner()->keymap = uint16_t(right->Number());
    }
    MarkProgram();
    return true;
}

SampleChoice::SampleChoice(const ZedoDatabase& bank, int current, bool stereo)
    : bank_(bank), current_(current), stereo_(stereo) {
    const SampleHeader* h = bank.GetSampleHeader(current);
    if (stereo)
        view_ = kViewRam;
    else if (!h)
        view_ = kViewAll;
    else
        view_ = h->IsRom() ? kViewRom : kViewRam;
    Fill();
}

void SampleChoice::SetView(int view) {
    // A stereo keymap takes stereo RAM samples only.
    view_ = stereo_ ? kViewRam : std::clamp(view, int(kViewRam), int(kViewAll));
    Fill();
}

void SampleChoice::Fill() {
    int filter = view_ == kViewRam ? kSamplesRam : view_ == kViewRom ? kSamplesRom : kSamplesAll;
    if (stereo_) filter |= kSamplesStereoOnly;
    list_ = ListSampleHeaders(bank_, bank_.GetSampleHeader(current_) ? current_ : -1, filter);
}

int SampleChoice::SampleAt(int i) const {
    if (i < 0 || size_t(i) >= list_.items.size() || !list_.items[size_t(i)].object) return -1;
    return list_.items[size_t(i)].object->Number();
}

std::string AmpMenuText(const std::optional<int>& amp) {
    return amp ? Fmt("Adjust Amplitude [%+d] ...", *amp) : "Adjust Amplitude [  ] ...";
}

std::string EditSampleMenuText(bool hasRange, const std::string& headerName, bool known) {
    if (!hasRange) return "Edit Sample";
    return Fmt("Edit Sample %s", known ? headerName.c_str() : "Unknown");
}

}  // namespace talmeru
