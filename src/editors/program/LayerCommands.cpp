#include "editors/program/LayerCommands.h"

#include "application/UndoHistory.h"

#include <algorithm>
#include <cmath>

#include "application/BankEdits.h"
#include "model/Ma1Units.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

Program* LayerCommands::CurrentProgram() const {
    return edits_.Bank().GetProgram(program_);
}

std::vector<Layer*> LayerCommands::Layers(const std::vector<int>& selected) const {
    std::vector<Layer*> out;
    Program* p = CurrentProgram();
    if (!p) return out;
    for (int i : selected)
        if (Layer* layer = p->GetLayer(i);
            layer && std::find(out.begin(), out.end(), layer) == out.end())
            out.push_back(layer);
    return out;
}

void LayerCommands::Record(BankObject* object) const {
    edits_.Changed(*object);
}

bool LayerCommands::CanDelete(const std::vector<int>& selected) const {
    return !Layers(selected).empty();
}

bool LayerCommands::CanDuplicate(const std::vector<int>& selected) const {
    const std::vector<Layer*> layers = Layers(selected);
    if (layers.empty()) return false;
    int count = CurrentProgram()->LayerCount();
    for (const Layer* layer : layers)
        count += layer->StereoState() == kStereoLeft ? 2 : 1;
    return count <= kMaxLayers;
}

bool LayerCommands::CanDuplicateKeymaps(const std::vector<int>& selected) const {
    return !Layers(selected).empty();
}

bool LayerCommands::CanJoin(const std::vector<int>& selected) const {
    const std::vector<Layer*> layers = Layers(selected);
    return layers.size() == 2 && selected.size() == 2 && layers[0]->StereoState() == kMono &&
           layers[1]->StereoState() == kMono;
}

bool LayerCommands::CanSplit(const std::vector<int>& selected) const {
    const std::vector<Layer*> layers = Layers(selected);
    return !layers.empty() && std::all_of(layers.begin(), layers.end(),
                                          [](const Layer* l) { return l->StereoState() != kMono; });
}

int LayerCommands::Delete(const std::vector<int>& selected) {
    EditStep undoStep(edits_, "Delete Layers");
    Program* p = CurrentProgram();
    std::vector<Layer*> layers = Layers(selected);
    if (!p || layers.empty()) return 1;
    std::sort(layers.begin(), layers.end(),
              [](const Layer* a, const Layer* b) { return a->Index() > b->Index(); });
    // A left half takes its partner with it, and a partner can sit anywhere: every victim is
    // looked for again before it goes.
    for (Layer* victim : layers) {
        auto& all = p->Layers();
        auto it =
            std::find_if(all.begin(), all.end(), [&](const auto& l) { return l.get() == victim; });
        if (it != all.end()) p->DeleteLayer(victim->Index());
    }
    Record(p);
    return 0;
}

int LayerCommands::Duplicate(const std::vector<int>& selected) {
    EditStep undoStep(edits_, "Duplicate Layers");
    Program* p = CurrentProgram();
    const std::vector<Layer*> layers = Layers(selected);
    if (!p || layers.empty()) return 1;
    bool any = false;
    for (const Layer* layer : layers) {
        if (!p->DuplicateLayer(layer->Index())) {
            ShowMessage("Error creating layer");
            break;
        }
        any = true;
    }
    if (!any) return 1;
    Record(p);
    return 0;
}

int LayerCommands::DuplicateKeymaps(const std::vector<int>& selected) {
    EditStep undoStep(edits_, "Duplicate Keymaps");
    Program* p = CurrentProgram();
    std::vector<Layer*> layers = Layers(selected);
    if (!p || layers.empty()) return 1;
    // A right half goes with its left half: its keymap is the copy's partner.
    for (Layer*& layer : layers)
        if (layer->StereoState() == kStereoRight && layer->Partner()) layer = layer->Partner();
    bool any = false;
    std::vector<Layer*> done;
    for (Layer* layer : layers) {
        if (std::find(done.begin(), done.end(), layer) != done.end()) continue;
        done.push_back(layer);
        if (!edits_.Bank().GetKeymap(layer->keymap)) continue;
        Keymap* copy = edits_.Bank().DuplicateKeymap(layer->keymap, true);
        if (!copy) {
            ShowMessage("Couldn't duplicate keymap");
            break;
        }
        layer->keymap = static_cast<uint16_t>(copy->Number());
        if (layer->StereoState() == kStereoLeft && layer->Partner() && copy->chained)
            layer->Partner()->keymap = static_cast<uint16_t>(copy->chained->Number());
        Record(copy);
        any = true;
    }
    if (!any) return 1;
    Record(p);
    return 0;
}

int LayerCommands::Join(const std::vector<int>& selected) {
    EditStep undoStep(edits_, "Join Stereo Layers");
    Program* p = CurrentProgram();
    if (!p || !CanJoin(selected)) return 1;
    const std::vector<Layer*> layers = Layers(selected);
    Layer& left = *layers[0];
    Layer& right = *layers[1];
    if (!CanJoinStereo(left, right)) {
        ShowMessage(kJoinRefused);
        return 1;
    }
    left.PairWith(right);
    Keymap* leftMap = edits_.Bank().GetKeymap(left.keymap);
    Keymap* rightMap = edits_.Bank().GetKeymap(right.keymap);
    if (leftMap && rightMap) {
        // Earlier pairs of either keymap are undone, so that no keymap stays chained to one
        // that now belongs to another pair.
        for (int n = 0; n < kSlotCount; ++n) {
            Keymap* k = edits_.Bank().GetKeymap(n);
            if (!k || k == leftMap) continue;
            if (k->chained == leftMap || k->chained == rightMap) {
                k->chained = nullptr;
                k->stereoRole = kMono;
            }
        }
        if (leftMap->chained && leftMap->chained != rightMap) leftMap->chained->stereoRole = kMono;
        rightMap->chained = nullptr;
        PairStereo(*leftMap, *rightMap);
        Record(leftMap);
    }
    Record(p);
    return 0;
}

int LayerCommands::Split(const std::vector<int>& selected) {
    EditStep undoStep(edits_, "Split Stereo Layers");
    Program* p = CurrentProgram();
    if (!p || !CanSplit(selected)) return 1;
    for (Layer* layer : Layers(selected))
        layer->Unpair();
    Record(p);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Page columns

namespace {

constexpr FieldInfo kAmpFields[] = {
    {FieldId::kGain, "", "Gain [dB]", FieldKind::kRange, -64, 32, 0, 1, 8},
    {FieldId::kPan, "", "Pan", FieldKind::kRange, 0, 31, 16},
    {FieldId::kPanMode, "", "Mode", FieldKind::kChoice, 0, 2, 0},
    {FieldId::kVelocityRange, "Velocity", "Range", FieldKind::kRangePair, 0, 127, 0},
    {FieldId::kAmpVelocityTracking, "Velocity", "Tracking", FieldKind::kRange, -64, 64, 32, 1, 8},
    {FieldId::kAmpKeyTracking, "Key", "Tracking", FieldKind::kRange, -48, 48, 0, 1, 8},
    {FieldId::kIgnoreNoteOff, "", "Ignore Note Off", FieldKind::kCheck, 0, 1, 0},
    {FieldId::kNaturalEnvelope, "", "Natural Envelope", FieldKind::kCheck, 0, 1, 1},
};

constexpr FieldInfo kPitchFields[] = {
    {FieldId::kCoarseTune, "", "Coarse [semitones]", FieldKind::kSpin, -127, 127, 0},
    {FieldId::kFineTune, "", "Fine [cents]", FieldKind::kRange, -127, 127, 0, 1, 8},
    {FieldId::kTimbreShift, "", "Timbre Shift [semitones]", FieldKind::kSpin, -127, 127, 0},
    {FieldId::kExclusiveZone, "", "Exclusive Zone", FieldKind::kChoice, 0, 31, 0},
    {FieldId::kDelay, "", "Delay [0.6 ms]", FieldKind::kSpin, 0, 32767, 0},
    {FieldId::kWhiteNoise, "", "White Noise", FieldKind::kCheck, 0, 1, 0},
    {FieldId::kHeadroom1, "Headrooms", "Pre-Filter 1", FieldKind::kSpin, 0, 3, 0},
    {FieldId::kHeadroom2, "Headrooms", "Pre-Filter 2", FieldKind::kSpin, 0, 3, 0},
};

constexpr FieldInfo kFilterFields[] = {
    {FieldId::kFilter1Type, "", "Filter #1", FieldKind::kChoice, 0, 7, 0},
    {FieldId::kFilter1Frequency, "Filter #1", "Frequency [arbitrary units]", FieldKind::kRange, 0,
     0x7F00, 16129, 64, 1024},
    {FieldId::kFilter1VelocityTrack, "Filter #1", "Velocity Track", FieldKind::kRange, -127, 127,
     0},
    {FieldId::kFilter1KeyTrack, "Filter #1", "Key Track", FieldKind::kRange, -127, 127, 0},
    {FieldId::kFilter2Type, "", "Filter #2", FieldKind::kChoice, 0, 7, 0},
    {FieldId::kFilter2Frequency, "Filter #2", "Frequency/Resonance", FieldKind::kRange, 0, 0x7F00,
     16129, 64, 1024},
    {FieldId::kFilter2VelocityTrack, "Filter #2", "Velocity Track", FieldKind::kRange, -127, 127,
     0},
    {FieldId::kFilter2KeyTrack, "Filter #2", "Key Track", FieldKind::kRange, -127, 127, 0},
};

const ControlBlock& Filter(const Layer& layer, FieldId id) {
    return id >= FieldId::kFilter2Type ? layer.Filter2() : layer.Filter1();
}

ControlBlock& Filter(Layer& layer, FieldId id) {
    return id >= FieldId::kFilter2Type ? layer.Filter2() : layer.Filter1();
}

}  // namespace

const char* PageTitle(LayerPage page) {
    switch (page) {
        case LayerPage::kAmp:
            return "Amp";
        case LayerPage::kPitch:
            return "Pitch";
        case LayerPage::kFilter:
            return "Filter";
    }
    return "";
}

std::span<const FieldInfo> PageFields(LayerPage page) {
    switch (page) {
        case LayerPage::kAmp:
            return kAmpFields;
        case LayerPage::kPitch:
            return kPitchFields;
        case LayerPage::kFilter:
            return kFilterFields;
    }
    return {};
}

const FieldInfo& FieldOf(FieldId id) {
    for (LayerPage page : {LayerPage::kAmp, LayerPage::kPitch, LayerPage::kFilter})
        for (const FieldInfo& f : PageFields(page))
            if (f.id == id) return f;
    return kAmpFields[0];
}

int FieldBlock(FieldId id) {
    switch (id) {
        case FieldId::kFilter1Type:
            return 1;
        case FieldId::kFilter2Type:
            return 2;
        case FieldId::kGain:
            return 3;
        case FieldId::kCoarseTune:
            return 0;
        default:
            return -1;
    }
}

int FieldValue(const Layer& layer, FieldId id, int handle) {
    switch (id) {
        case FieldId::kGain:
            return layer.Amp().Gain();
        case FieldId::kPan:
            return layer.Pan();
        case FieldId::kPanMode:
            return layer.PanMode();
        case FieldId::kVelocityRange:
            return handle == 0 ? layer.velocityLow : layer.velocityHigh;
        case FieldId::kAmpVelocityTracking:
            return layer.Amp().VelocityTracking();
        case FieldId::kAmpKeyTracking:
            return layer.Amp().KeyTracking();
        case FieldId::kIgnoreNoteOff:
            return layer.IgnoreNoteOff() ? 1 : 0;
        case FieldId::kNaturalEnvelope:
            return layer.NaturalEnvelope() ? 1 : 0;
        case FieldId::kCoarseTune:
            return layer.Pitch().CoarseTune();
        case FieldId::kFineTune:
            return layer.Pitch().FineTune();
        case FieldId::kTimbreShift:
            return layer.timbreShift;
        case FieldId::kExclusiveZone:
            return layer.exclusiveZone;
        case FieldId::kDelay:
            return layer.delay;
        case FieldId::kWhiteNoise:
            return layer.WhiteNoise() ? 1 : 0;
        case FieldId::kHeadroom1:
            return layer.Amp().Headroom1();
        case FieldId::kHeadroom2:
            return layer.Amp().Headroom2();
        case FieldId::kFilter1Type:
        case FieldId::kFilter2Type:
            return Filter(layer, id).FilterType();
        case FieldId::kFilter1Frequency:
        case FieldId::kFilter2Frequency:
            return Filter(layer, id).Frequency();
        case FieldId::kFilter1VelocityTrack:
        case FieldId::kFilter2VelocityTrack:
            return Filter(layer, id).VelocityTracking();
        case FieldId::kFilter1KeyTrack:
        case FieldId::kFilter2KeyTrack:
            return Filter(layer, id).KeyTracking();
    }
    return 0;
}

bool SetFieldValue(Layer& layer, FieldId id, int value, int handle) {
    const FieldInfo& field = FieldOf(id);
    const int v = std::clamp(value, field.minimum, field.maximum);
    // Every field reads back from the bytes it writes, so the values tell a change.
    const int before = FieldValue(layer, id, handle);
    switch (id) {
        case FieldId::kGain:
            layer.Amp().SetGain(v);
            break;
        case FieldId::kPan:
            layer.SetPan(v);
            break;
        case FieldId::kPanMode:
            layer.SetPanMode(v);
            break;
        case FieldId::kVelocityRange:
            (handle == 0 ? layer.velocityLow : layer.velocityHigh) = static_cast<uint8_t>(v);
            break;
        case FieldId::kAmpVelocityTracking:
            layer.Amp().SetVelocityTracking(v);
            break;
        case FieldId::kAmpKeyTracking:
            layer.Amp().SetKeyTracking(v);
            break;
        case FieldId::kIgnoreNoteOff:
            layer.SetIgnoreNoteOff(v != 0);
            break;
        case FieldId::kNaturalEnvelope:
            layer.SetNaturalEnvelope(v != 0);
            break;
        case FieldId::kCoarseTune:
            layer.Pitch().SetCoarseTune(v);
            break;
        case FieldId::kFineTune:
            layer.Pitch().SetFineTune(v);
            break;
        case FieldId::kTimbreShift:
            layer.timbreShift = static_cast<int8_t>(v);
            break;
        case FieldId::kExclusiveZone:
            layer.exclusiveZone = static_cast<uint8_t>(v);
            break;
        case FieldId::kDelay:
            layer.delay = static_cast<uint16_t>(v);
            break;
        case FieldId::kWhiteNoise:
            layer.SetWhiteNoise(v != 0);
            break;
        case FieldId::kHeadroom1:
            layer.Amp().SetHeadroom1(v);
            break;
        case FieldId::kHeadroom2:
            layer.Amp().SetHeadroom2(v);
            break;
        case FieldId::kFilter1Type:
        case FieldId::kFilter2Type:
            Filter(layer, id).SetFilterType(v);
            break;
        case FieldId::kFilter1Frequency:
        case FieldId::kFilter2Frequency:
            Filter(layer, id).SetFrequency(v);
            break;
        case FieldId::kFilter1VelocityTrack:
        case FieldId::kFilter2VelocityTrack:
            Filter(layer, id).SetVelocityTracking(v);
            break;
        case FieldId::kFilter1KeyTrack:
        case FieldId::kFilter2KeyTrack:
            Filter(layer, id).SetKeyTracking(v);
            break;
    }
    return FieldValue(layer, id, handle) != before;
}

std::vector<std::string> FieldChoices(FieldId id) {
    std::vector<std::string> out;
    switch (id) {
        case FieldId::kPanMode:
            for (int m = 0; m < 3; ++m)
                out.push_back(PanModeName(m));
            break;
        case FieldId::kExclusiveZone:
            out.push_back("Off");
            for (int z = 1; z <= 31; ++z)
                out.push_back(Fmt("%d", z));
            break;
        case FieldId::kFilter1Type:
        case FieldId::kFilter2Type:
            for (int t = 0; t < kFilterTypeCount; ++t)
                out.push_back(FilterTypeName(t));
            break;
        default:
            break;
    }
    return out;
}

std::string SpinText(FieldId id, int value) {
    if (id == FieldId::kHeadroom1 || id == FieldId::kHeadroom2) return Fmt("%d", 3 * value);
    return Fmt("%d", value);
}

bool FieldEnabled(const Layer& layer, FieldId id) {
    if (layer.StereoState() == kStereoRight) return id == FieldId::kPan || id == FieldId::kPanMode;
    switch (id) {
        case FieldId::kFilter1Frequency:
        case FieldId::kFilter1VelocityTrack:
        case FieldId::kFilter1KeyTrack:
        case FieldId::kFilter2Frequency:
        case FieldId::kFilter2VelocityTrack:
        case FieldId::kFilter2KeyTrack:
            return !Filter(layer, id).IsNullFilter();
        default:
            return true;
    }
}

int HoldStep(int64_t heldMilliseconds) {
    if (heldMilliseconds >= 6000) return 1000;
    if (heldMilliseconds >= 4000) return 100;
    if (heldMilliseconds >= 2000) return 10;
    return 1;
}

void LayerChanged(Layer& layer, BankEdits& edits) {
    layer.UpdateRightHalf();
    if (Program* p = layer.Owner()) edits.Changed(*p);
}

std::string FieldMeaning(FieldId id, int value) {
    switch (id) {
        case FieldId::kDelay:
            return Fmt("%.1f ms", value * units::kDelaySecondsPerStep * 1000.0);
        case FieldId::kFineTune:
            return Fmt("%+.1f cents", units::FineTuneCents(value));
        case FieldId::kFilter1Frequency:
        case FieldId::kFilter2Frequency: {
            const double hz = units::FilterHz(value);
            return hz >= 1000.0 ? Fmt("%.2f kHz", hz / 1000.0) : Fmt("%.0f Hz", hz);
        }
        // Tracking reads as what it does at the far end of its input: the softest note, an
        // octave up, the hardest note.
        case FieldId::kAmpVelocityTracking:
            return Fmt("vel 1: %+.1f dB", units::VelocityDb(value, 1));
        case FieldId::kAmpKeyTracking:
            return Fmt("%+.2f dB/oct", units::KeyDb(value, 72));
        case FieldId::kFilter1VelocityTrack:
        case FieldId::kFilter2VelocityTrack:
            return Fmt("vel 127: %+.1f st", units::FilterVelocitySemitones(value, 127));
        case FieldId::kFilter1KeyTrack:
        case FieldId::kFilter2KeyTrack:
            return Fmt("%+.2f st/key", units::FilterKeySemitones(value, 61));
        case FieldId::kHeadroom1:
        case FieldId::kHeadroom2:
            return Fmt("%.0f dB", value * units::kHeadroomDbPerStep);
        case FieldId::kPan: {
            const double at = units::PanPosition(value);
            if (at == 0) return "centre";
            return Fmt("%s %.0f%%", at < 0 ? "L" : "R", std::abs(at) * 100.0);
        }
        default:
            return {};
    }
}

}  // namespace talmeru
