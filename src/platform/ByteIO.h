#pragma once
// Bounds-checked little- and big-endian access to byte buffers. Every parser of outside
// data reads through ByteReader, so a short or lying file raises ReadPastEnd instead of
// reading past the buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace talmeru {

class ReadPastEnd : public std::out_of_range {
  public:
    ReadPastEnd() : std::out_of_range("read past the end of the data") {}
};

[[noreturn]] void ThrowReadPastEnd();

class ByteReader {
  public:
    ByteReader() = default;
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}
    ByteReader(const uint8_t* data, size_t size) : data_(data, size) {}

    size_t Size() const { return data_.size(); }
    size_t Pos() const { return pos_; }
    size_t Remaining() const { return data_.size() - pos_; }
    bool CanRead(size_t n) const { return n <= Remaining(); }
    bool AtEnd() const { return pos_ >= data_.size(); }
    std::span<const uint8_t> Data() const { return data_; }

    void Seek(size_t pos) {
        if (pos > data_.size()) ThrowReadPastEnd();
        pos_ = pos;
    }
    void Skip(size_t n) {
        Need(n);
        pos_ += n;
    }

    uint8_t U8() {
        Need(1);
        return data_[pos_++];
    }
    int8_t S8() { return static_cast<int8_t>(U8()); }
    uint16_t U16() {
        Need(2);
        uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    uint32_t U32() {
        Need(4);
        uint32_t v = static_cast<uint32_t>(data_[pos_]) |
                     (static_cast<uint32_t>(data_[pos_ + 1]) << 8) |
                     (static_cast<uint32_t>(data_[pos_ + 2]) << 16) |
                     (static_cast<uint32_t>(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return v;
    }
    int32_t S32() { return static_cast<int32_t>(U32()); }
    uint16_t U16BE() {
        Need(2);
        uint16_t v = static_cast<uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
        pos_ += 2;
        return v;
    }
    int16_t S16BE() { return static_cast<int16_t>(U16BE()); }
    uint32_t U32BE() {
        Need(4);
        uint32_t v = (static_cast<uint32_t>(data_[pos_]) << 24) |
                     (static_cast<uint32_t>(data_[pos_ + 1]) << 16) |
                     (static_cast<uint32_t>(data_[pos_ + 2]) << 8) | data_[pos_ + 3];
        pos_ += 4;
        return v;
    }
    int32_t S32BE() { return static_cast<int32_t>(U32BE()); }

    std::span<const uint8_t> Bytes(size_t n) {
        Need(n);
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    // A fixed-size text field: up to the first NUL, never past the field.
    std::string FixedString(size_t n) {
        auto s = Bytes(n);
        size_t len = 0;
        while (len < n && s[len] != 0)
            ++len;
        return std::string(reinterpret_cast<const char*>(s.data()), len);
    }

  private:
    void Need(size_t n) const {
        if (n > Remaining()) ThrowReadPastEnd();
    }
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

class ByteWriter {
  public:
    ByteWriter() = default;
    explicit ByteWriter(size_t reserve) { buf_.reserve(reserve); }

    size_t Pos() const { return buf_.size(); }
    const std::vector<uint8_t>& Data() const { return buf_; }
    std::vector<uint8_t>& Data() { return buf_; }
    std::vector<uint8_t> Take() { return std::move(buf_); }

    void U8(uint8_t v) { buf_.push_back(v); }
    void S8(int8_t v) { U8(static_cast<uint8_t>(v)); }
    void U16(uint16_t v) {
        buf_.push_back(static_cast<uint8_t>(v));
        buf_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void S16(int16_t v) { U16(static_cast<uint16_t>(v)); }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            buf_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void S32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U16BE(uint16_t v) {
        buf_.push_back(static_cast<uint8_t>(v >> 8));
        buf_.push_back(static_cast<uint8_t>(v));
    }
    void U32BE(uint32_t v) {
        for (int i = 3; i >= 0; --i)
            buf_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Bytes(std::span<const uint8_t> s) { buf_.insert(buf_.end(), s.begin(), s.end()); }
    void Zeros(size_t n) { buf_.insert(buf_.end(), n, 0); }
    // A text field of exactly n bytes, zero-padded; a text of n characters has no terminator.
    void FixedString(std::string_view s, size_t n) {
        size_t len = s.size() < n ? s.size() : n;
        buf_.insert(buf_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(len));
        Zeros(n - len);
    }

    void PatchU16(size_t at, uint16_t v) {
        Check(at, 2);
        buf_[at] = static_cast<uint8_t>(v);
        buf_[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    void PatchU32(size_t at, uint32_t v) {
        Check(at, 4);
        for (int i = 0; i < 4; ++i)
            buf_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void PatchBytes(size_t at, std::span<const uint8_t> s) {
        Check(at, s.size());
        std::memcpy(buf_.data() + at, s.data(), s.size());
    }

  private:
    void Check(size_t at, size_t n) const {
        if (at > buf_.size() || n > buf_.size() - at) throw std::out_of_range("patch past the end");
    }
    std::vector<uint8_t> buf_;
};

}  // namespace talmeru
