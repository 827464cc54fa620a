#include "model/Keymap.h"

#include "platform/ByteIO.h"

namespace talmeru {

int Keymap::Unpack(std::span<const uint8_t> block) {
    if (UnpackHeader(block) != kUnpacked) return kUnpackFailed;
    auto body = BodyOf(block);
    entries.clear();
    if (body.size() >= 1) byteA = body[0];
    if (body.size() >= 2) byteB = body[1];
    ByteReader r(body);
    if (body.size() > 2) {
        r.Seek(2);
        while (r.CanRead(4)) {
            KeymapEntry e;
            e.topKey = r.U8();
            e.amp = r.S8();
            e.sample = r.U16();
            entries.push_back(e);
        }
    }
    return kUnpacked;
}

int Keymap::BodySize() const {
    return 2 + 4 * static_cast<int>(entries.size());
}

int Keymap::PackBody(std::span<uint8_t> body) const {
    if (body.size() != static_cast<size_t>(BodySize())) return kPackFailed;
    body[0] = static_cast<uint8_t>(byteA);
    body[1] = static_cast<uint8_t>(byteB);
    size_t at = 2;
    for (const auto& e : entries) {
        body[at] = static_cast<uint8_t>(e.topKey);
        body[at + 1] = static_cast<uint8_t>(static_cast<int8_t>(e.amp));
        body[at + 2] = static_cast<uint8_t>(e.sample);
        body[at + 3] = static_cast<uint8_t>(e.sample >> 8);
        at += 4;
    }
    return kPacked;
}

void Keymap::CopyFrom(const Keymap& other) {
    CopyHeaderFrom(other);
    byteA = other.byteA;
    byteB = other.byteB;
    entries = other.entries;
    stereoRole = other.stereoRole;
    DropPackedCopy();
}

int Keymap::SampleForKey(int key) const {
    for (const auto& e : entries)
        if (e.topKey >= key) return e.sample;
    return kNoSample;
}

size_t Keymap::MakeRange(int lo, int hi) {
    // Entries wholly inside lo..hi go; the next entry grows down over their keys.
    for (size_t i = 0; i < entries.size();) {
        if (LowKey(i) >= lo && entries[i].topKey <= hi)
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        int low = LowKey(i);
        KeymapEntry& e = entries[i];
        if (!(low <= lo && lo <= e.topKey)) continue;
        KeymapEntry fresh = e;
        fresh.topKey = hi;
        if (low < lo && e.topKey > hi) {
            KeymapEntry before = e;
            before.topKey = lo - 1;
            entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(i), before);
            entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(i) + 1, fresh);
            return i + 1;
        }
        if (low == lo) {
            entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(i), fresh);
            return i;
        }
        e.topKey = lo - 1;
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(i) + 1, fresh);
        return i + 1;
    }
    entries.push_back({hi, 0, 0});
    return entries.size() - 1;
}

void Keymap::SplitEntry(size_t i) {
    if (i >= entries.size()) return;
    int low = LowKey(i);
    if (low >= entries[i].topKey) return;
    KeymapEntry copy = entries[i];
    copy.topKey = (low + entries[i].topKey) / 2;
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(i), copy);
}

void Keymap::DeleteEntry(size_t i) {
    if (i < entries.size()) entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
}

}  // namespace talmeru
