#include "voice/BankImage.h"

#include "model/Keymap.h"
#include "model/Program.h"
#include "model/SampleHeader.h"
#include "platform/Prompter.h"

namespace talmeru::voice {

namespace {
template <typename T>
const T* Find(const std::map<int, std::shared_ptr<const T>>& map, int number) {
    auto it = map.find(number);
    return it == map.end() ? nullptr : it->second.get();
}

template <typename T>
std::shared_ptr<T> Unpacked(std::span<const uint8_t> block) {
    auto object = std::make_shared<T>();
    if (object->Unpack(block) != kUnpacked) return nullptr;
    return object;
}
}  // namespace

const Program* BankImage::FindProgram(int number) const {
    return Find(programs_, number);
}
const Keymap* BankImage::FindKeymap(int number) const {
    return Find(keymaps_, number);
}
const PlayableSample* BankImage::FindSample(int number) const {
    auto it = samples_.find(number);
    return it == samples_.end() || it->second.data.empty() ? nullptr : &it->second;
}

BankImage::Builder::Builder(std::shared_ptr<const std::vector<int8_t>> romWaves)
    : image_(std::make_unique<BankImage>()) {
    image_->rom_ = std::move(romWaves);
}

void BankImage::Builder::AddObject(std::span<const uint8_t> block) {
    // A damaged block plays nothing; what would ask the user answers No here.
    QuietThread quiet;
    if (block.empty()) return;
    switch (block[0]) {
        case kTypeProgram:
            if (auto p = Unpacked<Program>(block)) image_->programs_[p->Number()] = std::move(p);
            break;
        case kTypeKeymap:
            if (auto k = Unpacked<Keymap>(block)) image_->keymaps_[k->Number()] = std::move(k);
            break;
        case kTypeSampleHeader:
            if (auto h = Unpacked<SampleHeader>(block))
                image_->samples_[h->Number()].header = std::move(h);
            break;
        default:
            break;
    }
}

void BankImage::Builder::AddSampleData(int number, SampleBytes data) {
    if (data) data_[number] = std::move(data);
}

void BankImage::Builder::AddAlias(int alias, int primary) {
    aliases_[alias] = primary;
}

std::shared_ptr<const BankImage> BankImage::Builder::Build() {
    for (auto& [number, sample] : image_->samples_) {
        int holder = number;
        if (auto a = aliases_.find(number); a != aliases_.end()) holder = a->second;
        if (auto d = data_.find(holder); d != data_.end()) {
            sample.data = {d->second->data(), d->second->size()};
        } else if (!(sample.header->flags & kSixteenBit) && image_->rom_) {
            // 8-bit headers without sample data of their own play the ROM's sample memory.
            const auto& rom = *image_->rom_;
            sample.data = {reinterpret_cast<const uint8_t*>(rom.data()), rom.size()};
        }
    }
    for (auto& [number, data] : data_)
        image_->owned_.push_back(std::move(data));
    return std::shared_ptr<const BankImage>(image_.release());
}

}  // namespace talmeru::voice
