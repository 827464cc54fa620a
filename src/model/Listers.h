#pragma once
// The texts of the drop-down lists that pick keymaps, sample headers and programs.
#include <string>
#include <vector>

#include "model/Program.h"

namespace talmeru {

class BankObject;
class ZedoDatabase;

struct ListItem {
    std::string text;
    BankObject* object = nullptr;
};

struct ObjectList {
    std::vector<ListItem> items;
    int selected = -1;  // index into items, or -1
};

// Sample-header filter: the low four bits pick all, RAM or ROM headers; the flag lists only
// left halves of stereo pairs.
enum SampleFilter : int {
    kSamplesAll = 0,
    kSamplesRam = 1,
    kSamplesRom = 2,
    kSamplesStereoOnly = 0x10,
};

ObjectList ListKeymaps(const ZedoDatabase& db, int current, bool onlyStereo);
ObjectList ListSampleHeaders(const ZedoDatabase& db, int current, int filter);
ObjectList ListPrograms(const ZedoDatabase& db, int current, const ProgramNumbering& numbering);

}  // namespace talmeru
