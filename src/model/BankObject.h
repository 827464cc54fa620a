#pragma once
// The common base of keymaps, sample headers and programs: identity, name and the packed
// form shared by the synthesizer, the bank files and system-exclusive messages
// (22-byte header, then the body; at most 4096 bytes in all).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "model/Results.h"

namespace talmeru {

class BankLink;
class ByteWriter;

inline constexpr int kPackBufferSize = 4096;
inline constexpr int kObjectHeaderSize = 22;
inline constexpr int kMaxBodySize = kPackBufferSize - kObjectHeaderSize;
inline constexpr int kSlotCount = 512;
inline constexpr int kNameLength = 16;

enum ObjectType : int { kTypeKeymap = 1, kTypeSampleHeader = 2, kTypeProgram = 3 };

// Packing a whole object (Pack, PackTo, PackToBlock, PackCached).
enum ObjectPackResult : int {
    kObjectPacked = 0,
    kObjectSizeNegative = 1,
    kObjectPackFailed = 2,  // the object does not fit, or its body failed to pack
};

// Stereo role of keymaps and sample headers.
enum StereoRole : int { kMono = 0, kStereoLeft = 1, kStereoRight = 2 };

class BankObject {
  public:
    explicit BankObject(int type) : type_(type) {}
    virtual ~BankObject() = default;
    BankObject(const BankObject&) = delete;
    BankObject& operator=(const BankObject&) = delete;

    virtual int KindNumber() const = 0;
    virtual const char* KindName() const { return "unknown type"; }
    // Reads a whole packed object (header and body): an UnpackResult.
    [[nodiscard]] virtual int Unpack(std::span<const uint8_t> block) = 0;
    // The body size that PackBody will write.
    virtual int BodySize() const = 0;
    // Writes the body into exactly BodySize() bytes: a PackResult.
    [[nodiscard]] virtual int PackBody(std::span<uint8_t> body) const = 0;

    const std::string& Name() const { return name_; }
    void SetName(std::string_view name);
    int Number() const { return number_; }
    void SetNumber(int n) { number_ = n; }
    int Type() const { return type_; }
    bool Loaded() const { return loaded_; }

    // Packs into buf (capacity bytes); on failure the message has been shown.
    [[nodiscard]] ObjectPackResult Pack(uint8_t* buf, int capacity);
    // Packs into a 4096-byte buffer and appends the packed object to out.
    [[nodiscard]] ObjectPackResult PackTo(ByteWriter& out);
    // Packs into block (resized to the packed size; emptied on failure).
    ObjectPackResult PackToBlock(std::vector<uint8_t>& block);
    // A cached packed form, made on first use; edits must call DropPackedCopy. Shows no
    // message.
    [[nodiscard]] ObjectPackResult PackCached();
    const std::vector<uint8_t>& PackedCopy() const { return packed_; }
    // The packed form as the object is now, ignoring and keeping the cached copy (which
    // another reader may rely on being dropped by edits). Empty on failure; shows no message.
    std::vector<uint8_t> PackedNow() const;
    void DropPackedCopy() {
        packed_.clear();
        packed_.shrink_to_fit();
    }

    // Sends the object to the synthesizer unless romCounterpart (the ROM's object of the same
    // type and number) is identical, counting it against programRamFree; then the right half
    // it chains to. With `sent`, what it holds is not sent again and what is sent is added,
    // so that one pass sends every object once. kOk on success; else kFailed, or
    // StoreObject's code after "UpdateToZedo failed"; the reason has been shown.
    int Upload(BankLink& link, BankObject* romCounterpart, int& programRamFree,
               std::unordered_set<const BankObject*>* sent = nullptr);

    bool marked = false;
    // The object uploaded right after this one (the right half of a stereo pair); not owned.
    BankObject* chained = nullptr;
    int stereoRole = kMono;

  protected:
    // Upload without the partner.
    int UploadSelf(BankLink& link, BankObject* romCounterpart, int& programRamFree);
    // Reads the 22-byte header. kUnpackFailed when the block is shorter than it says, or
    // this object is already loaded and the block names another type or number.
    [[nodiscard]] UnpackResult UnpackHeader(std::span<const uint8_t> block);
    void CopyHeaderFrom(const BankObject& other);
    void WriteHeader(uint8_t* buf) const;
    // The body of a block whose header UnpackHeader accepted.
    static std::span<const uint8_t> BodyOf(std::span<const uint8_t> block);

    std::string name_ = "unknown";
    int number_ = 0;
    int bodySize_ = 0;
    bool loaded_ = false;
    int type_;
    std::vector<uint8_t> packed_;
};

// Makes left and right the two halves of a stereo keymap or sample: the right half is
// uploaded right after the left one. An object is never its own partner: false, and nothing
// changes.
bool PairStereo(BankObject& left, BankObject& right);

// The 22-byte header fields of a packed block, read without unpacking it.
struct PackedHeader {
    int type = 0;
    int number = 0;
    int bodySize = 0;
    std::string name;
};
// False when the block is shorter than a header.
bool ReadPackedHeader(std::span<const uint8_t> block, PackedHeader& out);

}  // namespace talmeru
