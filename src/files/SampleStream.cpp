#include "files/SampleStream.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/ByteIO.h"
#include "platform/Memory.h"

namespace talmeru {

namespace {

constexpr uint32_t kEscapeZeros = 16;
constexpr uint32_t kEscapeBits = 18;
constexpr uint32_t kEscapeLength = kEscapeZeros + kEscapeBits;
constexpr uint32_t kMaxCodedBits = kMaxCodedBytes * 8;
constexpr uint32_t kBlockId = 0x4B4C4243;  // "CBLK"
constexpr const char* kCorrupt = "Compressed sample stream is corrupt.";

inline int32_t LoadSample(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
    return static_cast<int16_t>(v);
}

inline void StoreSample(uint8_t* p, int32_t x) {
    auto v = static_cast<uint16_t>(x);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
    std::memcpy(p, &v, 2);
}

inline void Store32(uint8_t* p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline void Store64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

// The residual of sample x after x1 and x2, mapped to 0, 1, 2, ... for 0, -1, 1, ...; `m`
// gains the value's share of the sum that picks k (one more than u for negative residuals).
inline uint32_t Code(int32_t x, int32_t x1, int32_t x2, uint32_t& m) {
    int32_t r = x - 2 * x1 + x2;
    auto sign = static_cast<uint32_t>(r >> 31);
    uint32_t u = (static_cast<uint32_t>(r) << 1) ^ sign;
    m += u + (sign & 2);
    return u;
}

// The mapped residuals of samples 2..n-1 into u, and their sum for k: at most 8190 values
// below 2^18 + 2, so it fits 32 bits.
uint32_t Residuals(const uint8_t* pcm, uint32_t n, uint32_t* u) {
    uint32_t m = 0;
    uint32_t i = 2;
    // Runs of eight with a fixed count, which the compiler turns into vector code.
    for (; i + 8 <= n; i += 8) {
        uint32_t part = 0;
        for (uint32_t j = i; j < i + 8; ++j)
            u[j - 2] = Code(LoadSample(pcm + 2 * j), LoadSample(pcm + 2 * j - 2),
                            LoadSample(pcm + 2 * j - 4), part);
        m += part;
    }
    for (; i < n; ++i)
        u[i - 2] = Code(LoadSample(pcm + 2 * i), LoadSample(pcm + 2 * i - 2),
                        LoadSample(pcm + 2 * i - 4), m);
    return m;
}

uint32_t ChooseK(uint64_t m, uint32_t n) {
    if (n <= 2 || m == 0) return 0;
    double v = std::log2(std::log(2.0) * static_cast<double>(m) / n) + 0.5;
    return v > 0 ? static_cast<uint32_t>(v) : 0;
}

uint64_t CodedBits(const uint32_t* u, uint32_t count, uint32_t k) {
    uint64_t bits = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t len = (u[i] >> k) + 1 + k;
        bits += len <= 16 ? len : kEscapeLength;
    }
    return bits;
}

// Codes the values into out least significant bit first: the bytes used, a whole number of
// 32-bit words whose unused bits are zero. Whole bytes leave the 64-bit accumulator after
// every value by an unconditional 8-byte store, so out needs 8 bytes of room past the end.
size_t Encode(const uint32_t* u, uint32_t count, uint32_t k, uint8_t* out) {
    const uint32_t mask = (1u << k) - 1;
    uint8_t* o = out;
    uint64_t acc = 0;
    uint32_t fill = 0;  // bits in acc, below 8 between values
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t v = u[i];
        uint32_t q = v >> k;
        uint32_t len = q + 1 + k;
        // q zeros, a one and the k low bits; or the escape: 16 zeros and the value in 18 bits.
        uint64_t code =
            len <= 16 ? uint64_t{((v & mask) << 1) | 1} << (q & 15) : uint64_t{v} << kEscapeZeros;
        len = len <= 16 ? len : kEscapeLength;
        acc |= code << fill;
        fill += len;
        Store64(o, acc);
        o += fill >> 3;
        acc >>= fill & ~7u;
        fill &= 7;
    }
    Store64(o, acc);
    size_t bits = static_cast<size_t>(o - out) * 8 + fill;
    return (bits + 31) / 32 * 4;
}

}  // namespace

std::array<uint8_t, kStreamHeaderSize> MakeStreamHeader(uint64_t blockBytes, uint32_t blocks,
                                                        uint32_t samples) {
    std::array<uint8_t, kStreamHeaderSize> h{};
    Store32(h.data() + 4, static_cast<uint32_t>(blockBytes + kStreamHeaderSize - 8));
    Store32(h.data() + 8, blocks);
    Store32(h.data() + 12, samples);
    return h;
}

std::span<const uint8_t> BlockEncoder::Encode(std::span<const uint8_t> pcm) {
    const auto n = static_cast<uint32_t>(std::min<size_t>(pcm.size() / 2, kStreamBlockSamples));
    if (n == 0) return {};
    const uint32_t count = n > 2 ? n - 2 : 0;
    const uint32_t m = n > 2 ? Residuals(pcm.data(), n, codes_) : 0;
    uint32_t k = ChooseK(m, n);
    uint8_t* coded = block_ + kBlockHeaderSize;
    size_t bytes = count ? talmeru::Encode(codes_, count, k, coded) : 0;
    if (bytes > kMaxCodedBytes) {
        // The estimate's k overflows the block: take the k that codes smallest.
        uint64_t best = UINT64_MAX;
        for (uint32_t c = 0; c <= 15; ++c)
            if (uint64_t bits = CodedBits(codes_, count, c); bits < best) {
                best = bits;
                k = c;
            }
        if (best > kMaxCodedBits) return {};
        bytes = talmeru::Encode(codes_, count, k, coded);
    }
    Store32(block_, kBlockId);
    Store32(block_ + 4, static_cast<uint32_t>(bytes));
    Store32(block_ + 8, n);
    block_[12] = static_cast<uint8_t>(k);
    block_[13] = 2;
    block_[14] = block_[15] = 0;
    std::memcpy(block_ + 16, pcm.data(), 2);
    if (n > 1)
        std::memcpy(block_ + 18, pcm.data() + 2, 2);
    else
        block_[18] = block_[19] = 0;
    return {block_, kBlockHeaderSize + bytes};
}

bool CompressSamples(std::span<const uint8_t> pcm, ByteWriter& out) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(pcm.size() / 2, UINT32_MAX));
    const size_t start = out.Pos();
    // A stream that fits at all is rarely larger than its samples: room for that up front
    // saves copying a growing buffer, and pages of it never written are never touched.
    auto& data = out.Data();
    const size_t room =
        start + kStreamHeaderSize + pcm.size() + (n / kStreamBlockSamples + 1) * kBlockHeaderSize;
    if (data.capacity() < room) data.reserve(std::max(room, 2 * data.capacity()));
    out.Zeros(kStreamHeaderSize);
    auto encoder = std::make_unique<BlockEncoder>();
    uint32_t blocks = 0;
    for (uint32_t first = 0; first < n; first += kStreamBlockSamples, ++blocks) {
        uint32_t count = std::min(kStreamBlockSamples, n - first);
        auto block = encoder->Encode(pcm.subspan(2 * size_t{first}, 2 * size_t{count}));
        if (block.empty()) {
            out.Data().resize(start);
            return false;
        }
        out.Bytes(block);
    }
    auto header = MakeStreamHeader(out.Pos() - start - kStreamHeaderSize, blocks, n);
    std::memcpy(out.Data().data() + start, header.data(), header.size());
    return true;
}

std::optional<StreamHeader> ReadStreamHeader(std::span<const uint8_t> stream) {
    if (stream.size() < kStreamHeaderSize) return std::nullopt;
    ByteReader r(stream);
    r.Skip(4);
    StreamHeader h;
    h.totalSize = uint64_t{r.U32()} + 8;
    h.blocks = r.U32();
    h.samples = r.U32();
    return h;
}

// The coded bytes of a block are copied into a buffer followed by zeros far enough that even
// damaged codes (at most 47 bits a value) never read past it; the position is checked after
// the block.
BlockDecoder::BlockDecoder() : coded_(kMaxCodedBytes + (kStreamBlockSamples * 47 + 7) / 8 + 16) {}

const char* BlockDecoder::Decode(std::span<const uint8_t> in, uint32_t count, uint8_t* out,
                                 size_t& used) {
    used = 0;
    if (in.size() < 16) return nullptr;
    const uint8_t* h = in.data();
    const uint32_t bytes = Load32(h + 4);
    const uint32_t k = h[12];
    if (h[13] != 2) return kCorrupt;
    if (Load32(h) != kBlockId) return "Corrupt file, chunk id wrong";
    if (in.size() < kBlockHeaderSize) return nullptr;
    const int32_t x0 = LoadSample(h + 16), x1 = LoadSample(h + 18);
    if (bytes > kMaxCodedBytes)
        return "BlockHeaderStruct corrupt, dwNumBytes greater than INPUTBUFFERWORDS";
    if (in.size() - kBlockHeaderSize < bytes) return nullptr;
    if (k > 31) return kCorrupt;
    uint8_t* c = coded_.data();
    std::memcpy(c, h + kBlockHeaderSize, bytes);
    if (dirty_ > bytes) std::memset(c + bytes, 0, dirty_ - bytes);
    dirty_ = bytes;
    used = kBlockHeaderSize + bytes;

    StoreSample(out, x0);
    if (count < 2) return nullptr;
    StoreSample(out + 2, x1);
    uint8_t* o = out + 4;

    // The next bits of the stream are the low `have` bits of buf; p is where the bits after
    // them start (in whole bytes: buf holds real bits beyond `have` too). A refill tops buf up
    // to at least 56 bits, enough for three codes of 16 bits, the longest a well-formed block
    // has besides the escape; escapes and damaged codes refill before and after.
    const uint8_t* p = c;
    uint64_t buf = 0;
    uint32_t have = 0;
    auto refill = [&] {
        buf |= Load64(p) << have;
        p += (63 - have) >> 3;
        have |= 56;
    };
    const uint64_t mask = (uint64_t{1} << k) - 1;
    int32_t prev = x1, delta = x1 - x0;
    for (uint32_t left = count - 2; left > 0;) {
        refill();
        const uint32_t group = std::min(left, 3u);
        left -= group;
        for (uint32_t j = 0; j < group; ++j) {
            // 16 when the next 16 bits are zeros: an escape, which the slow path reads.
            uint32_t q =
                static_cast<uint32_t>(std::countr_zero(static_cast<uint32_t>(buf) | 0x10000u));
            uint32_t len = q + 1 + k;
            uint32_t u;
            if (len <= 16) [[likely]] {
                u = static_cast<uint32_t>((q << k) | ((buf >> (q + 1)) & mask));
                buf >>= len;
                have -= len;
            } else {
                refill();
                if ((buf & 0xFFFF) == 0) {
                    u = static_cast<uint32_t>(buf >> kEscapeZeros) & ((1u << kEscapeBits) - 1);
                    len = kEscapeLength;
                } else {
                    q = static_cast<uint32_t>(std::countr_zero(buf));
                    u = static_cast<uint32_t>((uint64_t{q} << k) | ((buf >> (q + 1)) & mask));
                    len = q + 1 + k;
                }
                buf >>= len;
                have -= len;
                refill();
            }
            int32_t r = static_cast<int32_t>(u >> 1) ^ -static_cast<int32_t>(u & 1);
            delta += r;
            int32_t x = prev + delta;
            if (static_cast<uint32_t>(x + 32768) > 65535u) [[unlikely]]
                return "Uncompression overflow.";
            StoreSample(o, x);
            o += 2;
            prev = x;
        }
    }
    const uint64_t consumed = static_cast<uint64_t>(p - c) * 8 - have;
    if (consumed > uint64_t{bytes} * 8) return kCorrupt;
    return nullptr;
}

std::string DecompressSamples(std::span<const uint8_t> stream, std::vector<uint8_t>& pcm) {
    auto header = ReadStreamHeader(stream);
    if (!header) return "Compressed sample stream is too short.";
    const uint32_t n = header->samples;
    // Never trust the count further than the stream could possibly hold.
    if (uint64_t{n} > (stream.size() - kStreamHeaderSize) * 64 + 2) return kCorrupt;
    // Grown block by block: the zeros a resize writes are still in the cache when the block's
    // samples overwrite them, which a whole-stream fill would not be.
    pcm.clear();
    pcm.reserve(size_t{n} * 2);
    // Page faults on first touch cost more than decoding the samples.
    PreferLargePages(pcm.data(), pcm.capacity());
    BlockDecoder decoder;
    size_t pos = kStreamHeaderSize;
    const char* error = nullptr;
    for (uint32_t i = 0; i < n;) {
        uint32_t count = std::min(kStreamBlockSamples, n - i);
        pcm.resize(2 * (size_t{i} + count));
        size_t used;
        error = decoder.Decode(stream.subspan(pos), count, pcm.data() + 2 * size_t{i}, used);
        if (error || used == 0) break;
        pos += used;
        i += count;
    }
    pcm.resize(size_t{n} * 2);
    return error ? error : std::string();
}

}  // namespace talmeru
