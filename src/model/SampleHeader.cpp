#include "model/SampleHeader.h"

#include <algorithm>
#include <cmath>

#include "model/WaveData.h"
#include "platform/ByteIO.h"
#include "platform/Format.h"

namespace talmeru {

int SampleHeader::Unpack(std::span<const uint8_t> block) {
    if (UnpackHeader(block) != kUnpacked) return kUnpackFailed;
    auto body = BodyOf(block);
    // A body too short for its fixed fields keeps what it has and zeroes the rest.
    uint8_t fixed[16] = {};
    std::copy_n(body.begin(), std::min<size_t>(body.size(), sizeof fixed), fixed);
    ByteReader f(fixed, sizeof fixed);
    start = f.S32();
    loopStart = f.S32();
    end = f.S32();
    amp = f.S8();
    flags = f.U8();
    pitch = f.S16();
    KeepOriginalPoints();
    envelope.clear();
    if (body.size() <= sizeof fixed) return kUnpacked;
    ByteReader r(body);
    r.Seek(sizeof fixed);
    int zeros = 0;
    while (zeros < 3 && r.CanRead(4)) {
        EnvelopeEntry e;
        e.slope = r.S16();
        e.duration = r.U16();
        envelope.push_back(e);
        if (e.duration == 0) ++zeros;
    }
    return kUnpacked;
}

int SampleHeader::BodySize() const {
    return 16 + 4 * static_cast<int>(envelope.size());
}

int SampleHeader::PackBody(std::span<uint8_t> body) const {
    if (body.size() != static_cast<size_t>(BodySize())) return kPackFailed;
    ByteWriter w(body.size());
    w.S32(start);
    w.S32(loopStart);
    w.S32(end);
    w.S8(static_cast<int8_t>(amp));
    w.U8(static_cast<uint8_t>(flags));
    w.S16(static_cast<int16_t>(pitch));
    for (const auto& e : envelope) {
        w.S16(static_cast<int16_t>(e.slope));
        w.U16(static_cast<uint16_t>(e.duration));
    }
    std::copy(w.Data().begin(), w.Data().end(), body.begin());
    return kPacked;
}

void SampleHeader::CopyFrom(const SampleHeader& o) {
    CopyHeaderFrom(o);
    start = o.start;
    loopStart = o.loopStart;
    end = o.end;
    amp = o.amp;
    flags = o.flags;
    pitch = o.pitch;
    envelope = o.envelope;
    origStart = o.origStart;
    origLoopStart = o.origLoopStart;
    origEnd = o.origEnd;
    stereoRole = o.stereoRole;
    wave_ = o.wave_;
    region_ = o.region_;
    DropPackedCopy();
}

void SampleHeader::AttachWave(WaveData* w, int what) {
    if (w && (what & kAttachPoints)) {
        // The data format follows the wave data: linear for RAM samples, K8 in the ROM. A
        // header only attached by reference keeps its flags, so loading never alters it.
        if (w->IsRom())
            flags &= ~kLinearData;
        else
            flags |= kLinearData;
        const int32_t bpf = w->BytesPerFrame();
        start = w->SampleStart() * bpf;
        end = w->End() * bpf;
        int32_t loop = w->LoopStart();
        loopStart = (loop < w->End()) ? loop * bpf : -1;
        if (bpf == 2)
            flags |= kSixteenBit;
        else
            flags &= ~kSixteenBit;
        KeepOriginalPoints();
    }
    if (what & kAttachReference) {
        wave_ = w;
        region_ = w ? w->FindRegion(start, end, loopStart) : -1;
    }
    if (w && (what & kAttachPitch)) SetPitch(w->RootPitch());
    if (w && (what & kAttachStereoName) && w->IsStereo()) {
        std::string n(Utf8Prefix(name_, kNameLength - 1));
        n += (w->channel == kRightChannel) ? 'R' : 'L';
        name_ = n;
    }
    DropPackedCopy();
}

int SampleHeader::SampleRate() const {
    if (!wave_) return 0;
    const int bytesPerFrame = (flags & kSixteenBit) ? 2 : 1;
    return wave_->SampleRateAt(int64_t{static_cast<uint32_t>(start)} / bytesPerFrame);
}

void SampleHeader::SetPitch(double rootKey) {
    double rate = SampleRate();
    if (rootKey < 0) rootKey = 60;
    double octaves = rate < 1 ? -12.0 : 12.0 * std::log2(rate / 88200.0);
    double p = 256.0 * (rootKey - 60.0 - octaves) + 0.5;
    // The field is 16 bits: a root key from a damaged file must not overflow it.
    pitch = static_cast<int>(std::clamp(std::trunc(p), -32768.0, 32767.0));
    DropPackedCopy();
}

void SampleHeader::ResetEnvelope(int decaySlope) {
    envelope = {{0, 0}, {decaySlope, 0}, {-2046, 0}};
    DropPackedCopy();
}

void SampleHeader::SetDefaults() {
    start = 0;
    loopStart = -1;
    end = 0;
    amp = 0;
    flags = kLinearData | kSixteenBit;
    pitch = 0;
    ResetEnvelope(kDefaultDecaySlope);
}

int SampleHeader::AttackCount() const {
    for (size_t i = 0; i < envelope.size(); ++i)
        if (envelope[i].duration == 0) return static_cast<int>(i);
    return 0;
}

void SampleHeader::SetAttackCount(int n) {
    if (n < 0) n = 0;
    size_t term = 0;
    while (term < envelope.size() && envelope[term].duration != 0)
        ++term;
    if (term == envelope.size()) return;  // no terminator: nothing to adjust against
    int have = static_cast<int>(term);
    if (n < have) {
        envelope.erase(envelope.begin(), envelope.begin() + (have - n));
    } else if (n > have) {
        int termDuration = envelope[term].duration;
        int d = termDuration >= 1000 ? termDuration : 10000;
        envelope.insert(envelope.begin() + static_cast<std::ptrdiff_t>(term),
                        static_cast<size_t>(n - have), EnvelopeEntry{0, d});
    }
    DropPackedCopy();
}

EnvelopeEntry SampleHeader::EnvelopeEntryFor(int value, int time) {
    EnvelopeEntry e;
    if (time <= 0) time = 1;
    long long q = static_cast<long long>(value) / time;
    if (q > 32767 || q < -32767) {
        e.slope = q > 0 ? 32767 : -32767;
        long long d = std::llabs(static_cast<long long>(value)) / 32767;
        e.duration = static_cast<int>(d > 32767 ? 32767 : d);
    } else {
        e.slope = static_cast<int>(q);
        e.duration = time > 32767 ? 32767 : time;
    }
    return e;
}

bool SampleHeader::IsRom() const {
    return wave_ && wave_->IsRom();
}

std::string SampleHeader::RegionName() const {
    if (!wave_ || region_ < 0 || static_cast<size_t>(region_) >= wave_->regions.size()) return {};
    return wave_->regions[static_cast<size_t>(region_)].name;
}

}  // namespace talmeru
