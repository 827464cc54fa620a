// Programs of any bytes played by the voice engine: whatever unpacks must play without a
// crash, and its output must stay finite. Input: sample start, loop and end (3 x 4 bytes),
// header pitch (2), program body length (2), the body, then MIDI messages (3 bytes each).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "voice/BankImage.h"
#include "voice/Engine.h"

using namespace talmeru;

namespace {
std::vector<uint8_t> Block(int type, std::span<const uint8_t> body) {
    std::vector<uint8_t> b(22, 0);
    b[0] = uint8_t(type);
    b[4] = uint8_t(body.size() & 0xFF);
    b[5] = uint8_t(body.size() >> 8);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 16) return 0;
    const size_t length = std::min<size_t>(data[14] | data[15] << 8, size - 16);
    std::vector<uint8_t> header(16, 0);
    std::memcpy(header.data(), data, 12);
    header[13] = 0x06;  // 16-bit linear data
    header[14] = data[12];
    header[15] = data[13];
    const uint8_t keymap[] = {0, 127, 127, 0, 0, 0};
    voice::BankImage::Builder builder(nullptr);
    builder.AddObject(Block(3, std::span(data + 16, length)));
    builder.AddObject(Block(1, keymap));
    builder.AddObject(Block(2, header));
    auto wave = std::make_shared<std::vector<uint8_t>>(4096);
    for (size_t i = 0; i < wave->size(); ++i)
        (*wave)[i] = uint8_t(i * 37 + (U32(data) >> (i % 24)));
    builder.AddSampleData(0, wave);

    // One engine serves every input: making one sizes the effects' delay lines, which costs
    // far more than playing an input. Each input leaves it as a fresh one is (below).
    static voice::Engine engine;
    engine.SetBank(builder.Build());
    std::vector<float> left(256), right(256);
    const uint8_t* m = data + 16 + length;
    const size_t messages = (size - 16 - length) / 3;
    for (size_t i = 0; i < messages && i < 64; ++i, m += 3) {
        engine.Send(uint32_t(m[0] | 0x80) | uint32_t(m[1] & 0x7F) << 8 |
                    uint32_t(m[2] & 0x7F) << 16);
        if (i % 4 == 3) engine.Render(left.data(), right.data(), 256);
    }
    engine.Send(0x7F3C90);  // a note, whatever came before
    for (int block = 0; block < 8; ++block) {
        engine.Render(left.data(), right.data(), 256);
        for (size_t i = 0; i < left.size(); ++i)
            if (!std::isfinite(left[i]) || !std::isfinite(right[i])) std::abort();
    }
    // The system reset silences every voice and puts the channels and effects back; once the
    // engine has taken an empty bank, the next one lets this input's go, so that every input
    // frees what it made and the leak check has nothing to look into.
    static const std::shared_ptr<const voice::BankImage> empty =
        voice::BankImage::Builder(nullptr).Build();
    engine.Send(0xFF);
    engine.SetBank(empty);
    engine.Render(left.data(), right.data(), 1);
    engine.SetBank(empty);
    return 0;
}
