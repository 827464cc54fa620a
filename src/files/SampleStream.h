#pragma once
// Lossless compressed streams of 16-bit mono samples: second-order prediction and Rice codes
// in independent blocks of 8192 samples, the form in which bank files carry sample data.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace talmeru {

class ByteWriter;

inline constexpr size_t kStreamHeaderSize = 20;
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

}  // namespace talmeru
