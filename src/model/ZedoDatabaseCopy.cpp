// Creating objects, copying programs between banks and duplicating them within one.
#include <map>
#include <type_traits>
#include <vector>

#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

// Packed forms equal apart from the object number.
bool SameApartFromNumber(BankObject& a, BankObject& b) {
    std::vector<uint8_t> x, y;
    if (a.PackToBlock(x) != 0 || b.PackToBlock(y) != 0 || x.size() != y.size()) return false;
    x[2] = y[2];
    x[3] = y[3];
    return x == y;
}

template <typename T>
std::unique_ptr<T> Repacked(const T& source) {
    std::vector<uint8_t> block;
    auto copy = std::make_unique<T>();
    if (const_cast<T&>(source).PackToBlock(block) != 0 || copy->Unpack(block) != 0) return nullptr;
    copy->stereoRole = source.stereoRole;
    return copy;
}

}  // namespace

Program* ZedoDatabase::CreateProgram(std::string_view name, int number) {
    if (number < 0) number = FirstFreeProgram();
    if (!InRange(number)) return nullptr;
    auto p = std::make_unique<Program>();
    p->SetNumber(number);
    p->SetName(name);
    Program* raw = p.get();
    programs_[number] = std::move(p);
    return raw;
}

Keymap* ZedoDatabase::CreateKeymap(std::string_view name, int number) {
    if (number < 0) number = FirstFreeKeymap();
    if (!InRange(number)) return nullptr;
    auto k = std::make_unique<Keymap>();
    k->SetNumber(number);
    k->SetName(name);
    Keymap* raw = k.get();
    keymaps_[number] = std::move(k);
    return raw;
}

namespace {

// Finds an object of this bank equal to `copy` apart from its number, and that `also`
// accepts: first under the source's own number and name, then the first of the same name.
template <typename Slots, typename T, typename Also>
T* FindReusable(Slots& slots, int sourceNumber, T& copy, Also also) {
    auto fits = [&](T& o) {
        return o.Name() == copy.Name() && SameApartFromNumber(o, copy) && also(o);
    };
    if (auto& same = slots[sourceNumber]; same && fits(*same)) return same.get();
    for (auto& o : slots)
        if (o && fits(*o)) return o.get();
    return nullptr;
}

// Two headers play the same sound only when they play the same wave data, also in stereo.
bool SameSound(const SampleHeader& mine, const SampleHeader& source) {
    const WaveData* a = mine.Wave();
    const WaveData* b = source.Wave();
    if (mine.stereoRole != source.stereoRole || !a != !b) return false;
    if (!a) return true;
    return a->IsRom() ? b->IsRom() : !b->IsRom() && a->Equals(*b);
}

// An object already standing in for another source object of this copy is not reused for a
// second one (the two halves of a pair with one name would become one).
template <typename Map, typename T>
bool Unclaimed(const Map& copies, const T& candidate) {
    for (const auto& [source, mine] : copies)
        if (mine == &candidate) return false;
    return true;
}

struct CopyState {
    std::map<const SampleHeader*, SampleHeader*> samples;
    std::map<const Keymap*, Keymap*> keymaps;
    // What this copy made, to be taken back when the rest does not fit.
    std::vector<int> madeSamples, madeKeymaps;
    size_t wavesBefore = 0;
};

// A copy that ran out of free slots of this kind ("sample header", "keymap").
struct NoRoom {
    const char* kind;
};

}  // namespace

Program* ZedoDatabase::CopyProgramFrom(const Program& program, const ZedoDatabase& other,
                                       int number) {
    if (number < 0) number = FirstFreeProgram();
    if (!InRange(number)) return nullptr;
    auto copy = std::make_unique<Program>(program);
    CopyState state;
    state.wavesBefore = waves_.size();

    auto sampleStep = [&](const SampleHeader& s) -> SampleHeader* {
        auto found = state.samples.find(&s);
        if (found != state.samples.end()) return found->second;
        auto c = Repacked(s);
        if (!c) return nullptr;
        if (SampleHeader* reuse =
                FindReusable(samples_, s.Number(), *c, [&](const SampleHeader& mine) {
                    return SameSound(mine, s) && Unclaimed(state.samples, mine);
                }))
            return state.samples[&s] = reuse;
        int n = FirstFreeSampleHeader();
        if (n < 0) throw NoRoom{"sample header"};
        c->SetNumber(n);
        c->marked = true;
        WaveData* target = nullptr;
        if (WaveData* w = s.Wave()) {
            if (w->IsRom()) {
                target = GetWaveData(0);
            } else {
                for (auto& mine : waves_)
                    if (mine->Equals(*w)) target = mine.get();
                if (!target) {
                    auto clone = w->Clone();
                    if (!clone) throw ZedoException("Could not load file");
                    clone->base = -1;
                    clone->links.clear();
                    target = AddWaveData(std::move(clone));
                }
            }
        }
        if (target) {
            if (target->IsRom())
                target->links.push_back({n, false});
            else
                target->AddLink(n);
            c->AttachWave(target, kAttachReference);
        }
        SampleHeader* raw = c.get();
        samples_[n] = std::move(c);
        state.madeSamples.push_back(n);
        return state.samples[&s] = raw;
    };

    auto keymapStep = [&](const Keymap& k) -> Keymap* {
        auto found = state.keymaps.find(&k);
        if (found != state.keymaps.end()) return found->second;
        auto c = Repacked(k);
        if (!c) return nullptr;
        for (auto& e : c->entries) {
            const SampleHeader* s = other.GetSampleHeader(e.sample);
            SampleHeader* mine = s ? sampleStep(*s) : nullptr;
            e.sample = mine ? mine->Number() : kNoSample;
        }
        // Stereo samples come over as stereo pairs again.
        for (auto& [src, mine] : state.samples)
            if (src->stereoRole == kStereoLeft && src->chained)
                if (auto partner =
                        state.samples.find(static_cast<const SampleHeader*>(src->chained));
                    partner != state.samples.end() && !mine->chained)
                    PairStereo(*mine, *partner->second);
        if (Keymap* reuse = FindReusable(keymaps_, k.Number(), *c, [&](const Keymap& mine) {
                return mine.stereoRole == k.stereoRole && Unclaimed(state.keymaps, mine);
            }))
            return state.keymaps[&k] = reuse;
        int n = FirstFreeKeymap();
        if (n < 0) throw NoRoom{"keymap"};
        c->SetNumber(n);
        c->marked = true;
        Keymap* raw = c.get();
        keymaps_[n] = std::move(c);
        state.madeKeymaps.push_back(n);
        return state.keymaps[&k] = raw;
    };

    // All or nothing: a program whose keymaps or samples do not all fit leaves the bank as
    // it was (keymap entries of a missing sample would play nothing, silently).
    try {
        for (const auto& layer : copy->Layers()) {
            const Keymap* k = other.GetKeymap(layer->keymap);
            Keymap* mine = k ? keymapStep(*k) : nullptr;
            layer->keymap = static_cast<uint16_t>(mine ? mine->Number() : 0);
        }
    } catch (const NoRoom& full) {
        for (int n : state.madeSamples) {
            if (WaveData* w = samples_[n]->Wave()) w->RemoveLink(n);
            samples_[n].reset();
        }
        for (int n : state.madeKeymaps)
            keymaps_[n].reset();
        waves_.resize(state.wavesBefore);
        throw ZedoException(Fmt("Program \"%s\" does not fit: there is no free %s for it.",
                                program.Name().c_str(), full.kind));
    }
    for (auto& [src, mine] : state.keymaps)
        if (src->stereoRole == kStereoLeft && src->chained)
            if (auto partner = state.keymaps.find(static_cast<const Keymap*>(src->chained));
                partner != state.keymaps.end())
                PairStereo(*mine, *partner->second);
    copy->SetNumber(number);
    copy->marked = true;
    copy->DropPackedCopy();
    Program* raw = copy.get();
    programs_[number] = std::move(copy);
    return raw;
}

Program* ZedoDatabase::DuplicateMarked(Program& program, bool uniqueNames) {
    if (!program.marked) return nullptr;
    int n = FirstFreeProgram();
    if (n < 0) return nullptr;
    auto copy = std::make_unique<Program>(program);
    copy->SetNumber(n);
    if (uniqueNames) copy->SetName(MakeUniqueName(kTypeProgram, program.Name()));
    copy->marked = true;
    Program* result = copy.get();
    programs_[n] = std::move(copy);

    std::map<int, int> keymapCopies, sampleCopies;
    // Duplicates an object and, for a left half, its partner (the copies paired too); returns
    // the first copy's number, or -1.
    auto duplicate = [&](auto& slots, std::map<int, int>& copies, int type, int number,
                         auto&& attach) -> int {
        using T = typename std::remove_reference_t<decltype(slots)>::value_type::element_type;
        if (auto done = copies.find(number); done != copies.end()) return done->second;
        T* src = InRange(number) ? slots[number].get() : nullptr;
        int first = -1;
        T* left = nullptr;
        for (T* o = src; o; o = (o == src && src->stereoRole == kStereoLeft)
                                    ? static_cast<T*>(src->chained)
                                    : nullptr) {
            int slot = -1;
            for (int free = 0; free < kSlotCount && slot < 0; ++free)
                if (!slots[free]) slot = free;
            if (slot < 0) break;
            auto c = Repacked(*o);
            c->SetNumber(slot);
            if (uniqueNames) c->SetName(MakeUniqueName(type, o->Name()));
            c->marked = true;
            attach(*o, *c, slot);
            T* raw = c.get();
            slots[slot] = std::move(c);
            copies[o->Number()] = slot;
            if (first < 0) {
                first = slot;
                left = raw;
            } else if (left) {
                PairStereo(*left, *raw);
            }
        }
        return first;
    };
    auto duplicateSample = [&](int number) {
        return duplicate(samples_, sampleCopies, kTypeSampleHeader, number,
                         [](SampleHeader& from, SampleHeader& to, int slot) {
                             if (WaveData* w = from.Wave()) {
                                 if (w->IsRom())
                                     w->links.push_back({slot, false});
                                 else
                                     w->AddLink(slot);
                                 to.AttachWave(w, kAttachReference);
                             }
                         });
    };
    auto duplicateKeymap = [&](int number) {
        return duplicate(keymaps_, keymapCopies, kTypeKeymap, number, [](Keymap&, Keymap&, int) {});
    };

    for (int i = 0; i < program.LayerCount(); ++i) {
        Layer* srcLayer = program.GetLayer(i);
        if (srcLayer->StereoState() == kStereoRight) continue;
        Keymap* k = GetKeymap(srcLayer->keymap);
        if (!k) continue;
        bool copied = k->marked;
        int kc = copied ? duplicateKeymap(k->Number()) : -1;
        Layer* target = result->GetLayer(i);
        if (kc >= 0) {
            target->keymap = static_cast<uint16_t>(kc);
            // The right half plays the keymap copy's partner.
            if (srcLayer->StereoState() == kStereoLeft && srcLayer->Partner())
                if (auto pc = keymapCopies.find(srcLayer->Partner()->keymap);
                    pc != keymapCopies.end())
                    result->GetLayer(srcLayer->Partner()->Index())->keymap =
                        static_cast<uint16_t>(pc->second);
        }
        // The copy plays the copies of its samples; a stereo keymap's right half plays the
        // copies of the right samples (made with their left halves), not the originals.
        auto replay = [&](const Keymap& from, Keymap* to) {
            for (size_t e = 0; e < from.entries.size(); ++e) {
                const int sample = from.entries[e].sample;
                SampleHeader* s = GetSampleHeader(sample);
                int sc = (s && s->marked) ? duplicateSample(sample) : -1;
                if (auto made = sampleCopies.find(sample); sc < 0 && made != sampleCopies.end())
                    sc = made->second;
                if (to && e < to->entries.size())
                    to->entries[e].sample = !s ? kNoSample : sc >= 0 ? sc : sample;
            }
        };
        Keymap* kcopy = kc >= 0 ? GetKeymap(kc) : nullptr;
        replay(*k, kcopy);
        const auto* rightSource =
            k->stereoRole == kStereoLeft ? dynamic_cast<Keymap*>(k->chained) : nullptr;
        if (rightSource && rightSource != k)
            replay(*rightSource, kcopy && kcopy->stereoRole == kStereoLeft
                                     ? dynamic_cast<Keymap*>(kcopy->chained)
                                     : nullptr);
    }
    result->DropPackedCopy();
    return result;
}

Keymap* ZedoDatabase::DuplicateKeymap(int n, bool uniqueNames) {
    Keymap* source = GetKeymap(n);
    if (!source) return nullptr;
    Keymap* partner =
        source->stereoRole == kStereoLeft ? dynamic_cast<Keymap*>(source->chained) : nullptr;
    auto copyOf = [&](const Keymap& from) -> Keymap* {
        const int slot = FirstFreeKeymap();
        if (slot < 0) return nullptr;
        auto c = Repacked(from);
        if (!c) return nullptr;
        c->SetNumber(slot);
        if (uniqueNames) c->SetName(MakeUniqueName(kTypeKeymap, from.Name()));
        c->marked = true;
        c->chained = nullptr;
        Keymap* raw = c.get();
        keymaps_[slot] = std::move(c);
        return raw;
    };
    Keymap* left = copyOf(*source);
    if (!left) return nullptr;
    if (partner) {
        Keymap* right = copyOf(*partner);
        if (!right) {
            keymaps_[left->Number()].reset();
            return nullptr;
        }
        PairStereo(*left, *right);
    } else {
        // Half a pair copied alone is a keymap of its own.
        left->stereoRole = kMono;
    }
    return left;
}

}  // namespace talmeru
