#include "application/CopyList.h"

#include <set>

#include "model/Keymap.h"
#include "model/Program.h"
#include "model/SampleHeader.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"

namespace talmeru {

CopyList::CopyList(const ZedoDatabase& db, const Program& program) {
    lines_.push_back({program.Name(), const_cast<Program*>(&program), 0, true});
    for (int i = 0; i < program.LayerCount(); ++i) {
        Keymap* k = db.GetKeymap(program.GetLayer(i)->keymap);
        if (!k) continue;
        lines_.push_back({Fmt("    K[%d] : %s", k->Number(), k->Name().c_str()), k, 1, false});
        std::set<int> listed;
        for (const KeymapEntry& e : k->entries) {
            SampleHeader* s = db.GetSampleHeader(e.sample);
            if (!s || !listed.insert(e.sample).second) continue;
            lines_.push_back(
                {Fmt("        S[%d] : %s", s->Number(), s->Name().c_str()), s, 2, false});
        }
    }
}

void CopyList::SelectAll(bool on) {
    for (CopyLine& l : lines_)
        l.ticked = on;
}

bool CopyList::TicksOrphans() const {
    bool parent[3] = {false, false, false};
    for (const CopyLine& l : lines_) {
        if (l.ticked && l.level > 0 && !parent[l.level - 1]) return true;
        parent[l.level] = l.ticked;
    }
    return false;
}

void CopyList::MarkTicked(ZedoDatabase& db) const {
    db.ClearMarks();
    for (const CopyLine& l : lines_)
        if (l.ticked) l.object->marked = true;
}

}  // namespace talmeru
