#include "model/Program.h"

#include <cstring>
#include <utility>

#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

Program::Program() : BankObject(kTypeProgram) {}

Program::Program(const Program& other) : BankObject(kTypeProgram) {
    CopyHeaderFrom(other);
    loaded_ = other.loaded_;
    programByte = other.programByte;
    for (const auto& m : other.modulators_)
        modulators_.push_back(m->Clone());
    for (size_t i = 0; i < other.layers_.size(); ++i) {
        auto layer = std::make_unique<Layer>(this, static_cast<int>(i));
        layer->CopyFrom(*other.layers_[i], false);
        layers_.push_back(std::move(layer));
    }
    for (size_t i = 0; i < other.layers_.size(); ++i) {
        const Layer& source = *other.layers_[i];
        if (source.StereoState() != kStereoLeft || !source.Partner()) continue;
        for (size_t j = 0; j < other.layers_.size(); ++j)
            if (other.layers_[j].get() == source.Partner()) layers_[i]->PairWith(*layers_[j]);
    }
}

Layer* Program::GetLayer(int index) const {
    if (index < 0 || index >= LayerCount()) return nullptr;
    return layers_[static_cast<size_t>(index)].get();
}

int Program::Unpack(std::span<const uint8_t> block) {
    if (UnpackHeader(block) != kUnpacked) return kUnpackFailed;
    layers_.clear();
    modulators_.clear();
    std::span<const uint8_t> body = BodyOf(block);
    try {
        ByteReader r(body);
        programByte = r.U8();
        r.Skip(1);
        int layerCount = r.U8();
        int modulatorCount = r.U8();
        if (layerCount > kMaxLayers || modulatorCount > kMaxModulators) return kUnpackTooMany;
        std::vector<size_t> offsets;
        for (int i = 0; i < layerCount; ++i)
            offsets.push_back(r.U16());

        size_t pos = r.Pos();
        for (int i = 0; i < modulatorCount; ++i) {
            ParsedModulator p = ParseModulator(body.subspan(pos));
            if (p.result != ParseResult::kDone) return kUnpackFailed;
            p.modulator->ownerKind = kProgramModulator;
            pos += static_cast<size_t>(p.modulator->PackedSize());
            modulators_.push_back(std::move(p.modulator));
        }
        for (int i = 0; i < layerCount; ++i) {
            size_t offset = offsets[static_cast<size_t>(i)];
            if (offset >= body.size()) return kUnpackFailed;
            auto layer = std::make_unique<Layer>(this, i);
            if (layer->Unpack(body.subspan(offset)) != kUnpacked) return kUnpackFailed;
            layers_.push_back(std::move(layer));
        }
    } catch (const ReadPastEnd&) {
        return kUnpackFailed;
    }
    return kUnpacked;
}

int Program::BodySize() const {
    int size = 4 + 2 * LayerCount();
    for (const auto& m : modulators_)
        size += m->PackedSize();
    for (const auto& l : layers_)
        size += l->PackedSize();
    return size;
}

int Program::PackBody(std::span<uint8_t> body) const {
    int layerCount = LayerCount();
    int modulatorCount = ModulatorCount();
    // Ids are four bits wide, so more than 16 program modulators cannot be told apart.
    if (layerCount > kMaxLayers || modulatorCount > kMaxModulators) {
        ShowMessage(Fmt("too many layer=%d global=%d", layerCount, modulatorCount));
        return kPackTooMany;
    }
    ByteWriter w(body.size());
    w.U8(programByte);
    w.U8(0);
    w.U8(static_cast<uint8_t>(layerCount));
    w.U8(static_cast<uint8_t>(modulatorCount));
    w.Zeros(2 * static_cast<size_t>(layerCount));
    for (const auto& m : modulators_) {
        std::vector<uint8_t> bytes = m->Packed();
        if (bytes.empty()) {
            ShowMessage("obscure error: mod->pack");
            return kPackFailed;
        }
        w.Bytes(bytes);
    }
    for (int i = 0; i < layerCount; ++i) {
        w.PatchU16(4 + 2 * static_cast<size_t>(i), static_cast<uint16_t>(w.Pos()));
        if (layers_[static_cast<size_t>(i)]->Pack(w) != kPacked) {
            ShowMessage("obscure error: layer->pack");
            return kPackFailed;
        }
    }
    if (w.Pos() != body.size()) return kPackFailed;
    std::memcpy(body.data(), w.Data().data(), body.size());
    return kPacked;
}

void Program::Renumber() {
    for (size_t i = 0; i < layers_.size(); ++i)
        layers_[i]->SetIndex(static_cast<int>(i));
}

Layer* Program::AddLayer(const BankObject& keymap, bool stereo) {
    int needed = stereo ? 2 : 1;
    if (LayerCount() + needed > kMaxLayers) return nullptr;
    if (stereo && !keymap.chained) return nullptr;
    auto left = std::make_unique<Layer>(this, LayerCount());
    left->keymap = static_cast<uint16_t>(keymap.Number());
    Layer* result = left.get();
    layers_.push_back(std::move(left));
    if (stereo) {
        auto right = std::make_unique<Layer>(this, LayerCount());
        right->keymap = static_cast<uint16_t>(keymap.chained->Number());
        result->PairWith(*right);
        result->SetPan(0);
        right->SetPan(31);
        result->delay = 1;
        right->delay = 1;
        layers_.push_back(std::move(right));
    }
    return result;
}

Result Program::DeleteLayer(int index) {
    Layer* victim = GetLayer(index);
    if (!victim) return kFailed;
    Layer* partner = victim->StereoState() == kStereoLeft ? victim->Partner() : nullptr;
    victim->Unpair();
    std::erase_if(layers_, [&](const auto& l) { return l.get() == victim || l.get() == partner; });
    Renumber();
    return kOk;
}

Layer* Program::DuplicateLayer(int index) {
    Layer* source = GetLayer(index);
    if (!source) return nullptr;
    Layer* sourcePartner = source->StereoState() == kStereoLeft ? source->Partner() : nullptr;
    if (LayerCount() + (sourcePartner ? 2 : 1) > kMaxLayers) return nullptr;
    auto copy = std::make_unique<Layer>(this, LayerCount());
    copy->CopyFrom(*source, false);
    Layer* result = copy.get();
    layers_.push_back(std::move(copy));
    if (sourcePartner) {
        auto partnerCopy = std::make_unique<Layer>(this, LayerCount());
        partnerCopy->CopyFrom(*sourcePartner, false);
        result->PairWith(*partnerCopy);
        layers_.push_back(std::move(partnerCopy));
    }
    return result;
}

void Program::DeleteAllLayers() {
    layers_.clear();
}

int Program::AddModulator(std::unique_ptr<Modulator> m) {
    if (!m || modulators_.size() >= kMaxModulators) return -1;
    int id = LowestFreeId(modulators_);
    if (id < 0) return -1;
    m->SetId(id);
    m->ownerKind = kProgramModulator;
    modulators_.insert(modulators_.begin(), std::move(m));
    CheckModulatorOrder();
    return id;
}

Modulator* Program::FindModulator(int id) const {
    return FindById(modulators_, id);
}

Result Program::RemoveModulator(const Modulator* m) {
    return RemoveFrom(modulators_, m);
}

Modulator* Program::ResolveSource(int source) const {
    if (source < 0) return nullptr;
    auto code = static_cast<uint8_t>(source);
    if (ClassifySource(code) != SourceClass::kProgramModulator) return nullptr;
    return FindModulator(SourceModulatorId(code));
}

bool Program::CheckModulatorOrder() {
    bool inOrder = CheckOrder(Scope(), modulators_, [](const Modulator& m) {
        return Fmt(
            "Warning: Program Modulator #%d (%s) depends on other Program Modulators that appear "
            "later in the modulator list. Please consult the object browser to see the "
            "ordering, and change the order until it works. You may only need to more this "
            "modulator to the end of the list.",
            m.Id(), m.KindName());
    });
    for (const auto& layer : layers_)
        if (!layer->CheckModulatorOrder()) inOrder = false;
    return inOrder;
}

std::string Program::DisplayName(const ProgramNumbering& numbering) const {
    return DisplayText(Number(), Name(), numbering);
}

std::string Program::DisplayText(int number, std::string_view name,
                                 const ProgramNumbering& numbering) {
    return Fmt("%s - %s", NumberText(number, numbering).c_str(), std::string(name).c_str());
}

std::string Program::NumberText(int number, const ProgramNumbering& numbering) {
    std::string prefix;
    int shown = number;
    if (numbering.bankPrefix) {
        prefix = Fmt("%d/", number / 128);
        shown = number % 128;
    }
    switch (numbering.style) {
        case 1:
            return Fmt("%s%d", prefix.c_str(), shown + 1);
        case 2:
            return Fmt("%s%c%c%c", prefix.c_str(), 'A' + shown / 64, '1' + (shown % 64) / 8,
                       '1' + shown % 8);
        default:
            return Fmt("%s%d", prefix.c_str(), shown);
    }
}

}  // namespace talmeru
