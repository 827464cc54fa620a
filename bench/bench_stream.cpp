// Compressing and decompressing 60 s of 16-bit 44.1 kHz music-like material (mono).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

#include "files/SampleStream.h"
#include "platform/ByteIO.h"

namespace {

using namespace talmeru;

const std::vector<uint8_t>& Music() {
    static const std::vector<uint8_t> pcm = [] {
        constexpr int kSamples = 60 * 44100;
        std::mt19937 gen(3);
        std::normal_distribution<double> noise(0, 60);
        std::vector<uint8_t> out;
        out.reserve(kSamples * 2);
        for (int i = 0; i < kSamples; ++i) {
            double t = i / 44100.0;
            double env = 0.6 + 0.4 * std::sin(2 * M_PI * 0.25 * t);
            double v =
                env * (7000 * std::sin(2 * M_PI * 196 * t) + 3500 * std::sin(2 * M_PI * 392.5 * t) +
                       1800 * std::sin(2 * M_PI * 587 * t + 1) +
                       900 * std::sin(2 * M_PI * 1318 * t)) +
                noise(gen);
            auto s = static_cast<uint16_t>(static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)));
            out.push_back(static_cast<uint8_t>(s));
            out.push_back(static_cast<uint8_t>(s >> 8));
        }
        return out;
    }();
    return pcm;
}

void BM_Compress(benchmark::State& state) {
    const auto& pcm = Music();
    size_t size = 0;
    for (auto _ : state) {
        ByteWriter out(pcm.size());
        CompressSamples(pcm, out);
        size = out.Pos();
        benchmark::DoNotOptimize(out.Data().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pcm.size()));
    state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(pcm.size());
}
BENCHMARK(BM_Compress)->Unit(benchmark::kMillisecond);

void BM_Decompress(benchmark::State& state) {
    const auto& pcm = Music();
    ByteWriter stream;
    CompressSamples(pcm, stream);
    std::vector<uint8_t> out;
    if (!DecompressSamples(stream.Data(), out).empty() || out != pcm) {
        state.SkipWithError("round trip failed");
        return;
    }
    for (auto _ : state) {
        DecompressSamples(stream.Data(), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pcm.size()));
}
BENCHMARK(BM_Decompress)->Unit(benchmark::kMillisecond);

// The block coder alone, one block at a time into a buffer that stays in the cache.
void BM_EncodeBlocks(benchmark::State& state) {
    const auto& pcm = Music();
    auto encoder = std::make_unique<BlockEncoder>();
    constexpr size_t kBlockBytes = 2 * kStreamBlockSamples;
    for (auto _ : state)
        for (size_t at = 0; at < pcm.size(); at += kBlockBytes)
            benchmark::DoNotOptimize(
                encoder->Encode(std::span(pcm).subspan(at, std::min(kBlockBytes, pcm.size() - at)))
                    .data());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pcm.size()));
}
BENCHMARK(BM_EncodeBlocks)->Unit(benchmark::kMillisecond);

void BM_DecodeBlocks(benchmark::State& state) {
    const auto& pcm = Music();
    ByteWriter stream;
    CompressSamples(pcm, stream);
    const auto samples = static_cast<uint32_t>(pcm.size() / 2);
    BlockDecoder decoder;
    std::vector<uint8_t> block(2 * kStreamBlockSamples);
    for (auto _ : state) {
        size_t pos = kStreamHeaderSize, used = 0;
        for (uint32_t i = 0; i < samples; i += kStreamBlockSamples, pos += used)
            if (decoder.Decode(std::span(stream.Data()).subspan(pos),
                               std::min(kStreamBlockSamples, samples - i), block.data(), used)) {
                state.SkipWithError("decoding failed");
                return;
            }
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pcm.size()));
}
BENCHMARK(BM_DecodeBlocks)->Unit(benchmark::kMillisecond);

}  // namespace
