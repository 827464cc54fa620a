#pragma once
// Lossless compressed streams of 16-bit mono samples: second-order prediction and Rice codes
// in independent blocks of 8192 samples, the form in which bank files carry sample data.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace talmeru {

class ByteWriter;

inline constexpr size_t kStreamHeaderSize = 20;
inline constexpr size_t kBlockHeaderSize = 20;  // with the block's two warm-up samples
inline constexpr uint32_t kStreamBlockSamples = 8192;
inline constexpr uint32_t kMaxCodedBytes = 32768;

struct StreamHeader {
    uint64_t totalSize = 0;  // of the whole stream, header included
    uint32_t blocks = 0;
    uint32_t samples = 0;
};

// Appends the stream of `samples` little-endian 16-bit samples (pcm holds 2 bytes each; an
// odd last byte is ignored). False, with nothing appended, when a block's codes cannot be
// made to fit a block (only near-random full-scale data): such data must be stored another
// way.
bool CompressSamples(std::span<const uint8_t> pcm, ByteWriter& out);

// The header at the start of stream; none when it is shorter than a header.
std::optional<StreamHeader> ReadStreamHeader(std::span<const uint8_t> stream);

// Decodes a whole stream into little-endian 16-bit samples. An empty result on success; else
// the reason ("Corrupt file, chunk id wrong", "Uncompression overflow.", ...). A stream that
// ends early yields the samples decoded so far (the rest are zero).
std::string DecompressSamples(std::span<const uint8_t> stream, std::vector<uint8_t>& pcm);

// The pieces of a stream, for writers and readers that handle one block at a time. A stream
// is its header followed by the blocks of samples 0..8191, 8192..16383, ... in order.

// The header of a stream of `samples` samples in `blocks` blocks that take `blockBytes` bytes.
std::array<uint8_t, kStreamHeaderSize> MakeStreamHeader(uint64_t blockBytes, uint32_t blocks,
                                                        uint32_t samples);

// Codes blocks. Large (about 70 KB): keep one per stream rather than one per block.
class BlockEncoder {
  public:
    // The whole block (header, warm-up samples and codes) of 1 to 8192 samples (pcm holds 2
    // little-endian bytes each); empty when its codes cannot fit a block. The bytes stay valid
    // until the next call.
    std::span<const uint8_t> Encode(std::span<const uint8_t> pcm);

  private:
    // Every value escaped, plus room for the coder's last 8-byte store.
    static constexpr size_t kWorstCoded = ((kStreamBlockSamples - 2) * 34 + 31) / 32 * 4 + 8;
    uint32_t codes_[kStreamBlockSamples];
    uint8_t block_[kBlockHeaderSize + kWorstCoded];
};

// Decodes blocks; holds the buffer that keeps damaged codes from reading past a block.
class BlockDecoder {
  public:
    BlockDecoder();
    // Decodes the block at the start of `in`, which holds the stream's next `count` samples
    // (1 to 8192), into out (2 * count bytes, little-endian). Null on success, with `used`
    // the block's size; null with `used` 0 when `in` ends before the block does (the stream
    // stops there; out is untouched); else why the block is damaged (out may hold some of its
    // samples).
    const char* Decode(std::span<const uint8_t> in, uint32_t count, uint8_t* out, size_t& used);

  private:
    std::vector<uint8_t> coded_;
    size_t dirty_ = 0;
};

}  // namespace talmeru
