// Packed objects of every type through ZedoDatabase::Store; an accepted object must pack
// again and read back to the same bytes.
#include <cstdlib>

#include "FuzzSupport.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 + kObjectHeaderSize) return 0;
    fuzz::InputPrompter prompter(fuzz::SeedOf(data, size));
    ScopedPrompter scope(prompter);
    std::vector<uint8_t> block(data + 1, data + size);
    block[0] = static_cast<uint8_t>(1 + data[0] % 6);  // every type, 4 included
    block[2] = static_cast<uint8_t>(data[0] % 2 ? 0 : block[2]);
    block[3] &= 1;
    ZedoDatabase db;
    try {
        if (db.Store(block) != 0) return 0;
    } catch (const ZedoException&) {
        return 0;
    }
    PackedHeader h;
    ReadPackedHeader(block, h);
    BankObject* o = db.GetObject(h.type, h.number);
    if (!o) return 0;
    std::vector<uint8_t> once, twice;
    if (o->PackToBlock(once) != 0) return 0;
    ZedoDatabase again;
    if (again.Store(once) != 0) std::abort();  // what we wrote must read back
    again.GetObject(h.type, h.number)->PackToBlock(twice);
    if (once != twice) std::abort();
    return 0;
}
