#include "model/Listers.h"

#include "model/ZedoDatabase.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

std::string ItemText(const BankObject& o) {
    return Fmt(o.stereoRole != kMono ? "%d S %s" : "%d - %s", o.Number(), o.Name().c_str());
}

void SelectByPrefix(ObjectList& list, const std::string& prefix) {
    for (size_t i = 0; i < list.items.size(); ++i)
        if (list.items[i].text.compare(0, prefix.size(), prefix) == 0) {
            list.selected = static_cast<int>(i);
            return;
        }
}

}  // namespace

ObjectList ListKeymaps(const ZedoDatabase& db, int current, bool onlyStereo) {
    ObjectList list;
    for (int n = 0; n < kSlotCount; ++n) {
        Keymap* k = db.GetKeymap(n);
        if (!k || (onlyStereo && k->stereoRole != kStereoLeft)) continue;
        list.items.push_back({ItemText(*k), k});
    }
    if (current >= 0) SelectByPrefix(list, Fmt("%d ", current));
    return list;
}

ObjectList ListSampleHeaders(const ZedoDatabase& db, int current, int filter) {
    ObjectList list;
    int which = filter & 0xF;
    for (int n = 0; n < kSlotCount; ++n) {
        SampleHeader* s = db.GetSampleHeader(n);
        if (!s) continue;
        if ((filter & kSamplesStereoOnly) && s->stereoRole != kStereoLeft) continue;
        if (which == kSamplesRam && s->IsRom()) continue;
        if (which == kSamplesRom && !s->IsRom()) continue;
        list.items.push_back({ItemText(*s), s});
    }
    // "%d " rather than "%d -", so a stereo header ("%d S ...") is selected as well.
    if (current >= 0) SelectByPrefix(list, Fmt("%d ", current));
    return list;
}

ObjectList ListPrograms(const ZedoDatabase& db, int current, const ProgramNumbering& numbering) {
    ObjectList list;
    for (int n = 0; n < kSlotCount; ++n) {
        Program* p = db.GetProgram(n);
        if (!p) continue;
        list.items.push_back({p->DisplayName(numbering), p});
    }
    if (current >= 0) SelectByPrefix(list, Program::DisplayText(current, "", numbering));
    return list;
}

}  // namespace talmeru
