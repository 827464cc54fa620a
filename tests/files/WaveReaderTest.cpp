#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>

#include "files/FileWaveData.h"
#include "files/K2000WaveData.h"
#include "files/SampleStream.h"
#include "files/WavWaveData.h"
#include "platform/ByteIO.h"
#include "platform/ByteSink.h"
#include "platform/FileUtil.h"
#include "platform/Prompter.h"
#include "support/Portability.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

class WaveReaderTest : public test::TempDirTest {};

// Noise that codes to blocks of several KB, so a stream is larger than the reader's window.
std::vector<uint8_t> Noise(size_t samples, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(-3000, 3000);
    std::vector<uint8_t> pcm;
    for (size_t i = 0; i < samples; ++i) {
        const auto v = static_cast<uint16_t>(d(rng));
        pcm.push_back(uint8_t(v));
        pcm.push_back(uint8_t(v >> 8));
    }
    return pcm;
}

// Reads the whole data through OpenReader in pieces of `piece` bytes: the bytes, or none
// when the reader could not be made or a read failed.
std::optional<std::vector<uint8_t>> ReadInPieces(WaveData& w, size_t piece) {
    auto reader = w.OpenReader();
    if (!reader) return std::nullopt;
    std::vector<uint8_t> out(reader->Size());
    for (size_t at = 0; at < out.size(); at += piece)
        if (reader->Read(std::span(out).subspan(at, std::min(piece, out.size() - at))) != 0)
            return std::nullopt;
    return out;
}

// Every kind that reads in pieces gives what LoadData gives, and fails where it fails.
TEST_F(WaveReaderTest, PiecesMatchTheWholeLoad) {
    ScriptedPrompter prompter;
    ScopedPrompter scope(prompter);
    const auto pcm = Noise(200 * kStreamBlockSamples + 77, 5);
    ByteWriter stream;
    ASSERT_TRUE(CompressSamples(pcm, stream));
    const auto& s = stream.Data();
    ASSERT_GT(s.size(), size_t(1) << 21);  // crosses the reader's window twice

    std::vector<uint8_t> k2000 = {0, 0, 0, 0, 0, 0, 0, 16};
    k2000.resize(16);
    k2000.insert(k2000.end(), pcm.begin(), pcm.end());
    std::vector<uint8_t> cut(s.begin(), s.begin() + std::ptrdiff_t(s.size() / 2));
    // A stream whose header says it ends halfway: the rest plays silence.
    std::vector<uint8_t> shortStream = s;
    const auto header = *ReadStreamHeader(s);
    const auto half = MakeStreamHeader(s.size() / 2, header.blocks, header.samples);
    std::copy(half.begin(), half.end(), shortStream.begin());
    std::vector<uint8_t> spoilt = s;
    spoilt[kStreamHeaderSize + 2 * 40000] ^= 0xFF;  // somewhere inside a block's codes
    std::vector<uint8_t> badId = s;
    badId[kStreamHeaderSize] = 'X';  // the first block's id

    auto wav = [&](int channels, int bits, size_t keep) {
        test::WavPlan plan;
        plan.channels = channels;
        plan.bits = bits;
        plan.data.assign(pcm.begin(), pcm.begin() + std::ptrdiff_t(keep));
        return test::MakeWav(plan);
    };
    // The same points as 24-bit PCM and as 32-bit floats, which the decoder reads.
    auto decoded = [&](int channels, bool floating) {
        test::WavPlan plan;
        plan.channels = channels;
        plan.tag = floating ? 3 : 1;
        plan.bits = floating ? 32 : 24;
        for (size_t i = 0; i + 1 < pcm.size() / 4; i += 2) {
            const auto v = static_cast<int16_t>(pcm[i] | pcm[i + 1] << 8);
            if (floating) {
                const float f = v / 32768.0f;
                uint8_t bytes[4];
                std::memcpy(bytes, &f, 4);
                plan.data.insert(plan.data.end(), bytes, bytes + 4);
            } else {
                plan.data.insert(plan.data.end(), {0, pcm[i], pcm[i + 1]});
            }
        }
        return test::MakeWav(plan);
    };
    auto wavChannel = [](int channel) {
        return [channel](const std::string& p) {
            return std::make_unique<WavWaveData>(p, 1, channel, true);
        };
    };
    // A data chunk that claims more than the file holds.
    auto overlong = wav(2, 16, pcm.size());
    overlong.resize(overlong.size() - 100);

    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        std::function<std::unique_ptr<WaveData>(const std::string&)> make;
        bool loads;
    };
    auto ctmb = [](const std::string& p) { return std::make_unique<CtmbWaveData>(p, 1, 0, true); };
    std::vector<Case> cases = {
        {"ma1", pcm,
         [&](const std::string& p) {
             return std::make_unique<Ma1WaveData>(p, 1, 6, pcm.size() - 10, true);
         },
         true},
        {"k2000", k2000,
         [](const std::string& p) {
             return std::make_unique<K2000WaveData>(p, 1, 0, true, K2000Stretch{4, 300000, 0, 10});
         },
         true},
        {"stream", s, ctmb, true},
        {"stream ending early", shortStream, ctmb, true},
        {"cut file", cut, ctmb, false},
        {"spoilt stream", spoilt, ctmb, false},
        {"wrong block id", badId, ctmb, false},
        {"wav 16-bit mono", wav(1, 16, pcm.size()), wavChannel(kWholeFile), true},
        {"wav 16-bit stereo, right", wav(2, 16, pcm.size()), wavChannel(kRightChannel), true},
        {"wav 8-bit stereo, left", wav(2, 8, pcm.size() - 2), wavChannel(kLeftChannel), true},
        {"wav 8-bit mono", wav(1, 8, 1001), wavChannel(kWholeFile), true},
        {"wav data past the file", overlong, wavChannel(kLeftChannel), true},
        {"wav 24-bit stereo, right", decoded(2, false), wavChannel(kRightChannel), true},
        {"wav float mono", decoded(1, true), wavChannel(kWholeFile), true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(std::string(c.name) + ".bin");
        ASSERT_TRUE(WriteWholeFile(path, c.file));
        auto whole = c.make(path);
        auto pieces = c.make(path);
        ASSERT_TRUE(whole->valid);
        EXPECT_EQ(whole->LoadData() == 0, c.loads);
        for (size_t piece : {size_t(999), size_t(65536), size_t(1) << 22}) {
            auto got = ReadInPieces(*pieces, piece);
            EXPECT_EQ(got.has_value(), c.loads) << piece;
            if (got && c.loads) {
                EXPECT_TRUE(*got == whole->data) << piece;
            }
        }
        EXPECT_TRUE(pieces->data.empty());  // nothing was held whole
    }
}

// The same writes, patches and cuts give the same bytes in memory and in a file, across the
// file sink's buffer.
TEST_F(WaveReaderTest, FileSinkMatchesMemory) {
    const auto big = Noise(700000, 9);  // 1.4 MB: more than the buffer
    const std::vector<uint8_t> small = {1, 2, 3, 4, 5};
    auto script = [&](ByteSink& out) {
        EXPECT_TRUE(out.Write(small));
        EXPECT_TRUE(out.Write(big));
        EXPECT_TRUE(out.U32At(1, 0xA1B2C3D4));  // flushed already
        EXPECT_TRUE(out.Write(small));
        EXPECT_TRUE(out.U32At(out.Pos() - 4, 7));  // still buffered
        EXPECT_TRUE(out.Truncate(out.Pos() - 3));  // inside the buffer
        EXPECT_TRUE(out.Write(std::span(big).first(300000)));
        EXPECT_TRUE(out.Truncate(1000));  // behind what was flushed
        EXPECT_TRUE(out.Write(small));
        EXPECT_FALSE(out.Patch(out.Pos() - 2, small));  // past the end
        EXPECT_TRUE(out.Flush());
    };
    std::vector<uint8_t> memory;
    VectorSink inMemory(memory);
    script(inMemory);
    const std::string path = Path("sink.bin");
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | test::kOpenBinary, 0644);
    ASSERT_GE(fd, 0);
    {
        FdSink inFile(fd);
        script(inFile);
        EXPECT_EQ(inFile.Pos(), memory.size());
    }
    ::close(fd);
    EXPECT_EQ(*ReadWholeFile(path), memory);
    EXPECT_EQ(memory.size(), 1005u);
}

}  // namespace
}  // namespace talmeru
