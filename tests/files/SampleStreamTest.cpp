#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "files/SampleStream.h"
#include "platform/ByteIO.h"

namespace talmeru {
namespace {

std::vector<uint8_t> Pcm(const std::vector<int>& samples) {
    std::vector<uint8_t> out;
    for (int s : samples) {
        out.push_back(static_cast<uint8_t>(s));
        out.push_back(static_cast<uint8_t>(static_cast<unsigned>(s) >> 8));
    }
    return out;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& pcm) {
    ByteWriter w;
    EXPECT_TRUE(CompressSamples(pcm, w));
    return w.Take();
}

void ExpectRoundTrip(const std::vector<int>& samples) {
    auto pcm = Pcm(samples);
    auto stream = Compress(pcm);
    std::vector<uint8_t> back;
    EXPECT_EQ(DecompressSamples(stream, back), "");
    EXPECT_EQ(back, pcm);
}

struct BlockInfo {
    uint32_t coded, count, k;
};

std::vector<BlockInfo> Blocks(const std::vector<uint8_t>& stream) {
    ByteReader r(stream);
    r.Skip(8);
    uint32_t blocks = r.U32();
    r.Seek(20);
    std::vector<BlockInfo> out;
    for (uint32_t b = 0; b < blocks; ++b) {
        EXPECT_EQ(r.U32(), 0x4B4C4243u);
        BlockInfo i{r.U32(), r.U32(), r.U8()};
        EXPECT_EQ(r.U8(), 2);
        r.Skip(2 + 4 + i.coded);
        EXPECT_EQ(i.coded % 4, 0u);
        out.push_back(i);
    }
    EXPECT_TRUE(r.AtEnd());
    return out;
}

TEST(SampleStream, HeaderAndBlockLayout) {
    std::vector<int> s(8193);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int>(i % 200) - 100;
    auto stream = Compress(Pcm(s));
    auto h = ReadStreamHeader(stream);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->samples, 8193u);
    EXPECT_EQ(h->blocks, 2u);
    EXPECT_EQ(h->totalSize, stream.size());
    auto blocks = Blocks(stream);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].count, 8192u);
    EXPECT_EQ(blocks[1].count, 1u);
    EXPECT_EQ(blocks[1].coded, 0u);
    EXPECT_EQ(blocks[1].k, 0u);
    ExpectRoundTrip(s);
}

TEST(SampleStream, ConstantAndRampBlocksCostOneBitEach) {
    std::vector<int> constant(1000, 1234);
    auto stream = Compress(Pcm(constant));
    auto blocks = Blocks(stream);
    EXPECT_EQ(blocks[0].k, 0u);
    EXPECT_EQ(blocks[0].coded, (998u + 31) / 32 * 4);  // a single 1 bit per value
    ExpectRoundTrip(constant);
    std::vector<int> ramp(3000);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = -30000 + 20 * static_cast<int>(i);
    EXPECT_EQ(Blocks(Compress(Pcm(ramp)))[0].coded, (2998u + 31) / 32 * 4);
    ExpectRoundTrip(ramp);
}

TEST(SampleStream, ExtremesUseTheEscapeAndComeBack) {
    std::vector<int> alternating;
    for (int i = 0; i < 40; ++i)
        alternating.push_back(i % 2 ? 32767 : -32768);
    ExpectRoundTrip(alternating);
    ExpectRoundTrip({});
    ExpectRoundTrip({5});
    ExpectRoundTrip({5, -7});
    ExpectRoundTrip({-32768, 32767, -32768});
}

TEST(SampleStream, ChoosesKFromTheResiduals) {
    // Residuals of size about 100 give k = trunc(log2(ln2 * m / n) + 0.5).
    std::mt19937 gen(7);
    std::vector<int> s{0, 0};
    int delta = 0;
    for (int i = 0; i < 4000; ++i) {
        int r = static_cast<int>(gen() % 201) - 100;
        delta += r;
        if (std::abs(s.back() + delta) > 30000) delta = -delta / 2;
        s.push_back(s.back() + delta);
    }
    auto pcm = Pcm(s);
    uint64_t m = 0;
    for (size_t i = 2; i < s.size(); ++i) {
        int r = (s[i] - s[i - 1]) - (s[i - 1] - s[i - 2]);
        m += r >= 0 ? 2 * r : 1 - 2 * r;
    }
    uint32_t expected = static_cast<uint32_t>(std::log2(std::log(2.0) * m / s.size()) + 0.5);
    EXPECT_EQ(Blocks(Compress(pcm))[0].k, expected);
    ExpectRoundTrip(s);
}

TEST(SampleStream, RandomMaterialRoundTripsOrIsRefused) {
    std::mt19937 gen(11);
    // Music-like: a few partials with noise.
    std::vector<int> music;
    for (int i = 0; i < 50000; ++i)
        music.push_back(static_cast<int>(12000 * std::sin(i * 0.031) + 5000 * std::sin(i * 0.17) +
                                         static_cast<int>(gen() % 64)));
    ExpectRoundTrip(music);
    auto stream = Compress(Pcm(music));
    EXPECT_LT(stream.size(), music.size() * 2 * 3 / 4);

    // Full-scale noise still fits its blocks (a little over 16 bits a sample).
    std::vector<int> noise;
    for (int i = 0; i < 20000; ++i)
        noise.push_back(static_cast<int>(gen() % 65536) - 32768);
    ExpectRoundTrip(noise);

    // A full-scale square wave at half the sample rate escapes every value and cannot fit
    // a full block: refused, and nothing is appended.
    std::vector<int> square;
    for (int i = 0; i < 9000; ++i)
        square.push_back(i % 2 ? 32767 : -32768);
    ByteWriter w;
    w.U8(9);
    EXPECT_FALSE(CompressSamples(Pcm(square), w));
    EXPECT_EQ(w.Pos(), 1u);
    square.resize(7000);  // a shorter block fits
    ExpectRoundTrip(square);
}

TEST(SampleStream, EscapesAmongShortCodesAtEveryPlace) {
    // Quiet material with a full-scale jump every few samples: escapes fall at every place
    // among the short codes around them, and at the ends of blocks.
    for (int period : {1, 2, 3, 4, 5, 7, 8191}) {
        std::vector<int> s;
        const int length = period < 4 ? 5000 : 8192 + 300;  // dense escapes fit short blocks
        for (int i = 0; i < length; ++i)
            s.push_back(i % period == period - 1 ? (i % 2 ? 32000 : -32000) : (i * 7) % 13);
        ExpectRoundTrip(s);
    }
}

TEST(SampleStream, BlocksOneAtATimeMakeTheSameStream) {
    std::mt19937 gen(3);
    std::vector<int> s;
    for (int i = 0; i < 2 * 8192 + 5; ++i)
        s.push_back(static_cast<int>(9000 * std::sin(i * 0.02)) + static_cast<int>(gen() % 32));
    auto pcm = Pcm(s);
    auto whole = Compress(pcm);

    auto encoder = std::make_unique<BlockEncoder>();
    std::vector<uint8_t> pieces(kStreamHeaderSize);
    uint32_t blocks = 0;
    for (size_t at = 0; at < pcm.size(); at += 2 * kStreamBlockSamples, ++blocks) {
        auto block = encoder->Encode(
            std::span(pcm).subspan(at, std::min<size_t>(2 * kStreamBlockSamples, pcm.size() - at)));
        pieces.insert(pieces.end(), block.begin(), block.end());
    }
    auto header = MakeStreamHeader(pieces.size() - kStreamHeaderSize, blocks,
                                   static_cast<uint32_t>(s.size()));
    std::copy(header.begin(), header.end(), pieces.begin());
    EXPECT_EQ(pieces, whole);

    // Decoded block by block; a block cut short is not decoded and says so by using nothing.
    BlockDecoder decoder;
    std::vector<uint8_t> back(pcm.size(), 0xEE);
    size_t pos = kStreamHeaderSize, used = 0;
    for (uint32_t i = 0; i < s.size(); i += kStreamBlockSamples, pos += used) {
        uint32_t count =
            std::min<uint32_t>(kStreamBlockSamples, static_cast<uint32_t>(s.size()) - i);
        ASSERT_EQ(decoder.Decode(std::span(whole).subspan(pos), count, back.data() + 2 * i, used),
                  nullptr);
        ASSERT_GT(used, kBlockHeaderSize);
    }
    EXPECT_EQ(pos, whole.size());
    EXPECT_EQ(back, pcm);
    uint8_t untouched[4] = {1, 2, 3, 4};
    EXPECT_EQ(decoder.Decode(std::span(whole).subspan(kStreamHeaderSize, 100), 2, untouched, used),
              nullptr);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(untouched[0], 1);
}

TEST(SampleStream, DecoderReportsDamage) {
    std::vector<int> s(9000);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int>(3000 * std::sin(i * 0.01));
    auto good = Compress(Pcm(s));
    std::vector<uint8_t> out;

    auto badId = good;
    badId[20] = 'X';
    EXPECT_EQ(DecompressSamples(badId, out), "Corrupt file, chunk id wrong");
    auto tooBig = good;
    tooBig[24] = 0x01;
    tooBig[25] = 0x80;
    tooBig[26] = 0x00;  // 32769 bytes
    EXPECT_EQ(DecompressSamples(tooBig, out),
              "BlockHeaderStruct corrupt, dwNumBytes greater than INPUTBUFFERWORDS");
    auto climbing = Compress(Pcm({0, 30000, 32767}));
    climbing[20 + 18] = 0x30;  // x1 = 30000 + ...: 2 * x1 - x0 + r overflows
    climbing[20 + 19] = 0x7F;
    EXPECT_EQ(DecompressSamples(climbing, out), "Uncompression overflow.");

    // A stream cut short decodes what it has and leaves the rest zero.
    auto cut = good;
    cut.resize(good.size() - 100);
    EXPECT_EQ(DecompressSamples(cut, out), "");
    EXPECT_EQ(out.size(), s.size() * 2);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16384, Pcm(s).begin()));
    EXPECT_EQ(DecompressSamples(std::vector<uint8_t>(10, 0), out),
              "Compressed sample stream is too short.");

    // Seeded damage anywhere never reads outside the stream (the sanitizer build checks).
    std::mt19937 gen(5);
    for (int round = 0; round < 2000; ++round) {
        auto d = good;
        for (int c = 0; c < 1 + round % 5; ++c)
            d[gen() % d.size()] = static_cast<uint8_t>(gen());
        if (round % 4 == 0) d.resize(gen() % d.size());
        DecompressSamples(d, out);
    }
}

}  // namespace
}  // namespace talmeru
