#include "files/SampleStream.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/ByteIO.h"

namespace talmeru {

namespace {

constexpr uint32_t kEscapeZeros = 16;
constexpr uint32_t kEscapeBits = 18;
constexpr uint32_t kMaxCodedBits = kMaxCodedBytes * 8;

inline int32_t LoadSample(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

// Residuals of one block mapped to non-negative values, and the sum that picks k.
struct BlockCodes {
    uint32_t u[kStreamBlockSamples];
    uint32_t count = 0;
    uint64_t m = 0;
};

void Residuals(const uint8_t* pcm, uint32_t n, BlockCodes& b) {
    b.count = n > 2 ? n - 2 : 0;
    b.m = 0;
    if (n <= 2) return;
    int32_t x2 = LoadSample(pcm), x1 = LoadSample(pcm + 2);
    uint64_t m = 0;
    for (uint32_t i = 2; i < n; ++i) {
        int32_t x = LoadSample(pcm + 2 * i);
        int32_t r = (x - x1) - (x1 - x2);
        uint32_t u = r >= 0 ? 2u * static_cast<uint32_t>(r) : static_cast<uint32_t>(-2 * r - 1);
        b.u[i - 2] = u;
        m += r >= 0 ? u : u + 2;
        x2 = x1;
        x1 = x;
    }
    b.m = m;
}

uint32_t ChooseK(uint64_t m, uint32_t n) {
    if (n <= 2 || m == 0) return 0;
    double v = std::log2(std::log(2.0) * static_cast<double>(m) / n) + 0.5;
    return v > 0 ? static_cast<uint32_t>(v) : 0;
}

uint64_t CodedBits(const BlockCodes& b, uint32_t k) {
    uint64_t bits = 0;
    for (uint32_t i = 0; i < b.count; ++i) {
        uint32_t len = (b.u[i] >> k) + 1 + k;
        bits += len <= 16 ? len : kEscapeZeros + kEscapeBits;
    }
    return bits;
}

// Bits go out least significant first, in 32-bit little-endian words.
class BitWriter {
  public:
    explicit BitWriter(uint8_t* out) : out_(out) {}
    void Put(uint64_t value, uint32_t len) {
        acc_ |= value << fill_;
        fill_ += len;
        if (fill_ >= 32) {
            Store32(static_cast<uint32_t>(acc_));
            acc_ >>= 32;
            fill_ -= 32;
        }
    }
    // Bytes written, the last word padded with zeros.
    size_t Finish() {
        if (fill_ > 0) Store32(static_cast<uint32_t>(acc_));
        return pos_;
    }

  private:
    void Store32(uint32_t v) {
        if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
        std::memcpy(out_ + pos_, &v, 4);
        pos_ += 4;
    }
    uint8_t* out_;
    size_t pos_ = 0;
    uint64_t acc_ = 0;
    uint32_t fill_ = 0;
};

size_t Encode(const BlockCodes& b, uint32_t k, uint8_t* out) {
    BitWriter w(out);
    const uint32_t mask = static_cast<uint32_t>((uint64_t{1} << k) - 1);
    for (uint32_t i = 0; i < b.count; ++i) {
        uint32_t u = b.u[i];
        uint32_t q = u >> k;
        if (q + 1 + k <= 16) {
            w.Put((uint64_t{1} << q) | (uint64_t{u & mask} << (q + 1)), q + 1 + k);
        } else {
            w.Put(0, kEscapeZeros);
            w.Put(u, kEscapeBits);
        }
    }
    return w.Finish();
}

inline void StoreSample(uint8_t* p, int32_t x) {
    auto v = static_cast<uint16_t>(x);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
    std::memcpy(p, &v, 2);
}

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

}  // namespace

bool CompressSamples(std::span<const uint8_t> pcm, ByteWriter& out) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(pcm.size() / 2, UINT32_MAX));
    const size_t start = out.Pos();
    out.Zeros(kStreamHeaderSize);
    auto codes = std::make_unique<BlockCodes>();
    // Room for the worst block: every value escaped.
    std::vector<uint8_t> coded((kStreamBlockSamples * (kEscapeZeros + kEscapeBits) + 31) / 32 * 4 +
                               8);
    uint32_t blocks = 0;
    for (uint32_t first = 0; first < n; first += kStreamBlockSamples, ++blocks) {
        uint32_t count = std::min(kStreamBlockSamples, n - first);
        const uint8_t* block = pcm.data() + 2 * static_cast<size_t>(first);
        Residuals(block, count, *codes);
        uint32_t k = ChooseK(codes->m, count);
        size_t bytes = codes->count ? Encode(*codes, k, coded.data()) : 0;
        if (bytes > kMaxCodedBytes) {
            // The estimate's k overflows the block: take the k that codes smallest.
            uint64_t best = UINT64_MAX;
            for (uint32_t c = 0; c <= 15; ++c)
                if (uint64_t bits = CodedBits(*codes, c); bits < best) {
                    best = bits;
                    k = c;
                }
            if (best > kMaxCodedBits) {
                out.Data().resize(start);
                return false;
            }
            bytes = Encode(*codes, k, coded.data());
        }
        out.U32(0x4B4C4243);  // "CBLK"
        out.U32(static_cast<uint32_t>(bytes));
        out.U32(count);
        out.U8(static_cast<uint8_t>(k));
        out.U8(2);
        out.U16(0);
        out.S16(static_cast<int16_t>(LoadSample(block)));
        out.S16(count > 1 ? static_cast<int16_t>(LoadSample(block + 2)) : 0);
        out.Bytes(std::span<const uint8_t>(coded.data(), bytes));
    }
    out.PatchU32(start + 4, static_cast<uint32_t>(out.Pos() - start - 8));
    out.PatchU32(start + 8, blocks);
    out.PatchU32(start + 12, n);
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

std::string DecompressSamples(std::span<const uint8_t> stream, std::vector<uint8_t>& pcm) {
    auto header = ReadStreamHeader(stream);
    if (!header) return "Compressed sample stream is too short.";
    const uint32_t n = header->samples;
    // Never trust the count further than the stream could possibly hold.
    if (uint64_t{n} > (stream.size() - kStreamHeaderSize) * 64 + 2)
        return "Compressed sample stream is corrupt.";
    pcm.assign(static_cast<size_t>(n) * 2, 0);
    uint8_t* out = pcm.data();
    // The coded bytes of a block, followed by zeros far enough that even damaged codes (at
    // most 47 bits a value) never read past the buffer; the position is checked per block.
    constexpr size_t kSlack = (kStreamBlockSamples * 47 + 7) / 8 + 16;
    std::vector<uint8_t> coded(kMaxCodedBytes + kSlack, 0);
    size_t dirty = 0;
    size_t pos = kStreamHeaderSize;
    uint32_t i = 0;
    while (i < n) {
        if (stream.size() - pos < 16) break;
        ByteReader h(stream.subspan(pos, 16));
        uint32_t id = h.U32();
        uint32_t bytes = h.U32();
        h.Skip(4);  // the block's own count: blocks always start every 8192 samples
        uint32_t k = h.U8();
        uint32_t warmUp = h.U8();
        pos += 16;
        if (warmUp != 2) return "Compressed sample stream is corrupt.";
        if (id != 0x4B4C4243) return "Corrupt file, chunk id wrong";
        if (stream.size() - pos < 4) break;
        int32_t x0 = LoadSample(stream.data() + pos), x1 = LoadSample(stream.data() + pos + 2);
        pos += 4;
        if (bytes > kMaxCodedBytes)
            return "BlockHeaderStruct corrupt, dwNumBytes greater than INPUTBUFFERWORDS";
        if (stream.size() - pos < bytes) break;
        if (k > 31) return "Compressed sample stream is corrupt.";
        std::memcpy(coded.data(), stream.data() + pos, bytes);
        if (dirty > bytes) std::memset(coded.data() + bytes, 0, dirty - bytes);
        dirty = bytes;
        pos += bytes;

        auto put = [&](int32_t x) { StoreSample(out + 2 * size_t{i++}, x); };
        put(x0);
        if (i >= n) break;
        put(x1);
        int32_t prev = x1, delta = x1 - x0;
        const uint32_t end = std::min(n, (i - 2) + kStreamBlockSamples);
        const uint32_t mask = static_cast<uint32_t>((uint64_t{1} << k) - 1);
        uint64_t bit = 0;
        const uint8_t* c = coded.data();
        for (; i < end; ++i) {
            uint64_t peek = Load64(c + (bit >> 3)) >> (bit & 7);
            uint32_t u;
            if ((peek & 0xFFFF) == 0) [[unlikely]] {
                u = static_cast<uint32_t>(peek >> kEscapeZeros) & ((1u << kEscapeBits) - 1);
                bit += kEscapeZeros + kEscapeBits;
            } else {
                uint32_t q = static_cast<uint32_t>(std::countr_zero(peek));
                u = static_cast<uint32_t>((uint64_t{q} << k) | ((peek >> (q + 1)) & mask));
                bit += q + 1 + k;
            }
            int32_t r = static_cast<int32_t>(u >> 1) ^ -static_cast<int32_t>(u & 1);
            delta += r;
            int32_t x = prev + delta;
            if (static_cast<uint32_t>(x + 32768) > 65535u) [[unlikely]]
                return "Uncompression overflow.";
            StoreSample(out + 2 * size_t{i}, x);
            prev = x;
        }
        if (bit > uint64_t{bytes} * 8) return "Compressed sample stream is corrupt.";
    }
    return {};
}

}  // namespace talmeru
