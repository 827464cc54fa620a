#include "model/Layer.h"

#include <utility>

#include "model/Program.h"
#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

const char* PanModeName(int mode) {
    static constexpr const char* kNames[] = {"Auto", "Fixed", "RevAuto"};
    return mode >= 0 && mode < 3 ? kNames[mode] : "?";
}

Layer::Layer(Program* owner, int index)
    : owner_(owner),
      index_(index),
      blocks_{ControlBlock(BlockKind::kPitch), ControlBlock(BlockKind::kFilter1),
              ControlBlock(BlockKind::kFilter2), ControlBlock(BlockKind::kAmp)} {}

Layer::~Layer() {
    Unpair();
}

std::string Layer::DisplayName() const {
    if (index_ < 0 || index_ >= 1000) return "Layer xxx";
    return Fmt("Layer #%d", index_);
}

void Layer::Reset() {
    flags = 0;
    keyHigh = 127;
    keyLow = 0;
    velocityHigh = 127;
    velocityLow = 0;
    timbreShift = 0;
    panByte = 15;
    exclusiveZone = 0;
    keymap = 0;
    delay = 0;
    layerByte = 0;
    modulators_.clear();
    for (auto& b : blocks_)
        b.Reset();
}

UnpackResult Layer::Unpack(std::span<const uint8_t> bytes) {
    try {
        ByteReader r(bytes);
        flags = r.U16();
        keyHigh = r.U8();
        keyLow = r.U8();
        velocityHigh = r.U8();
        velocityLow = r.U8();
        timbreShift = r.S8();
        panByte = r.U8();
        exclusiveZone = r.U8();
        r.Skip(1);
        keymap = r.U16();
        delay = r.U16();
        layerByte = r.U8();
        // The stored modulator count is not trusted: the list ends where a block begins.
        r.Skip(1);

        modulators_.clear();
        size_t pos = kHeaderSize;
        bool ok = true;
        for (;;) {
            ParsedModulator p = ParseModulator(bytes.subspan(pos));
            if (p.result == ParseResult::kEndOfList) break;
            if (p.result == ParseResult::kFailed || modulators_.size() >= kMaxModulators) {
                ok = false;
                break;
            }
            p.modulator->ownerKind = kLayerModulator;
            pos += static_cast<size_t>(p.modulator->PackedSize());
            modulators_.push_back(std::move(p.modulator));
        }
        for (size_t i = 0; ok && i < blocks_.size(); ++i) {
            int next = 0;
            if (blocks_[i].Unpack(bytes.subspan(pos), &next) != kUnpacked) ok = false;
            pos += static_cast<size_t>(next);
        }
        if (ok) return kUnpacked;
    } catch (const ReadPastEnd&) {
    }
    Reset();
    return kUnpackFailed;
}

int Layer::PackedSize() const {
    int size = kHeaderSize;
    for (const auto& m : modulators_)
        size += m->PackedSize();
    for (const auto& b : blocks_)
        size += b.PackedSize();
    return size;
}

PackResult Layer::Pack(ByteWriter& out) const {
    out.U16(flags);
    out.U8(keyHigh);
    out.U8(keyLow);
    out.U8(velocityHigh);
    out.U8(velocityLow);
    out.S8(timbreShift);
    out.U8(panByte);
    out.U8(exclusiveZone);
    out.U8(0);
    out.U16(keymap);
    out.U16(delay);
    out.U8(layerByte);
    out.U8(static_cast<uint8_t>(modulators_.size()));
    for (size_t i = 0; i < modulators_.size(); ++i) {
        // Ids are four bits and a seventeenth modulator would not unpack again.
        std::vector<uint8_t> bytes;
        if (i < kMaxModulators) bytes = modulators_[i]->Packed();
        if (bytes.empty()) {
            ShowMessage(Fmt("obscure error: lymodlist->pack %d", static_cast<int>(i)));
            return kPackFailed;
        }
        out.Bytes(bytes);
    }
    static constexpr const char* kBlockFailures[] = {
        "obscure error: pitch->pack", "obscure error: filter0->pack",
        "obscure error: filter1->pack", "obscure error: amp->pack"};
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (blocks_[i].Pack(out) != kPacked) {
            ShowMessage(kBlockFailures[i]);
            return kPackFailed;
        }
    }
    return kPacked;
}

std::vector<uint8_t> Layer::Packed() const {
    ByteWriter w;
    if (Pack(w) != kPacked) return {};
    return w.Take();
}

void Layer::CopyFrom(const Layer& other, bool keepPanAndKeymap) {
    if (&other == this) return;
    flags = other.flags;
    keyHigh = other.keyHigh;
    keyLow = other.keyLow;
    velocityHigh = other.velocityHigh;
    velocityLow = other.velocityLow;
    timbreShift = other.timbreShift;
    exclusiveZone = other.exclusiveZone;
    delay = other.delay;
    layerByte = other.layerByte;
    if (!keepPanAndKeymap) {
        panByte = other.panByte;
        keymap = other.keymap;
    }
    ModulatorList copies;
    for (const auto& m : other.modulators_)
        copies.push_back(m->Clone());
    modulators_ = std::move(copies);
    blocks_ = other.blocks_;
}

int Layer::AddModulator(std::unique_ptr<Modulator> m) {
    if (!m || modulators_.size() >= kMaxModulators) return -1;
    int id = LowestFreeId(modulators_);
    if (id < 0) return -1;
    m->SetId(id);
    m->ownerKind = kLayerModulator;
    modulators_.insert(modulators_.begin(), std::move(m));
    CheckModulatorOrder();
    return id;
}

Modulator* Layer::FindModulator(int id) const {
    return FindById(modulators_, id);
}

Modulator* Layer::FindProgramModulator(int id) const {
    return owner_ ? owner_->FindModulator(id) : nullptr;
}

Result Layer::RemoveModulator(const Modulator* m) {
    return RemoveFrom(modulators_, m);
}

Modulator* Layer::ResolveSource(int source) const {
    if (source < 0) return nullptr;
    auto code = static_cast<uint8_t>(source);
    if (ClassifySource(code) == SourceClass::kProgramModulator)
        return FindProgramModulator(SourceModulatorId(code));
    if (ClassifySource(code) == SourceClass::kLayerModulator)
        return FindModulator(SourceModulatorId(code));
    return nullptr;
}

ModulatorScope Layer::Scope() const {
    return {owner_, this};
}

bool Layer::CheckModulatorOrder() {
    if (owner_)
        for (const auto& m : owner_->Modulators())
            m->placed = true;
    return CheckOrder(Scope(), modulators_, [this](const Modulator& m) {
        return Fmt(
            "Layer #%d Modulator #%d (%s) depends on other Layer Modulators that appear later in "
            "the modulator list. Please consult the object browser to see the ordering, and "
            "change the order until it works. You may only need to more this modulator to the "
            "end of the list.",
            index_, m.Id(), m.KindName());
    });
}

void Layer::SetPan(int pan) {
    panByte = static_cast<uint8_t>((panByte & ~0x1F) | (pan & 0x1F));
}

void Layer::SetPanMode(int mode) {
    panByte = static_cast<uint8_t>((panByte & ~0x60) | ((mode & 0x03) << 5));
}

void Layer::SetIgnoreNoteOff(bool on) {
    flags = static_cast<uint16_t>(on ? flags | kFlagIgnoreNoteOff : flags & ~kFlagIgnoreNoteOff);
}

void Layer::SetNaturalEnvelope(bool on) {
    flags = static_cast<uint16_t>(on ? flags & ~kFlagNoNaturalEnvelope
                                     : flags | kFlagNoNaturalEnvelope);
}

void Layer::SetWhiteNoise(bool on) {
    flags = static_cast<uint16_t>(on ? flags | kFlagWhiteNoise : flags & ~kFlagWhiteNoise);
}

void Layer::PairWith(Layer& right) {
    if (&right == this) return;
    Unpair();
    right.Unpair();
    stereoState_ = kStereoLeft;
    partner_ = &right;
    right.stereoState_ = kStereoRight;
    right.partner_ = this;
}

void Layer::Unpair() {
    if (partner_) {
        partner_->stereoState_ = kMono;
        partner_->partner_ = nullptr;
    }
    stereoState_ = kMono;
    partner_ = nullptr;
}

void Layer::UpdateRightHalf() const {
    if (stereoState_ == kStereoLeft && partner_) partner_->CopyFrom(*this, true);
}

bool CanJoinStereo(const Layer& first, const Layer& second) {
    if (first.Pan() != 0 || second.Pan() != 31) return false;
    if (first.keymap == second.keymap) return false;
    Layer probe(nullptr, first.Index());
    probe.CopyFrom(second, false);
    probe.keymap = first.keymap;
    probe.SetPan(first.Pan());
    std::vector<uint8_t> a = first.Packed();
    return !a.empty() && a == probe.Packed();
}

}  // namespace talmeru
