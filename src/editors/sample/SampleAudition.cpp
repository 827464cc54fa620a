#include "editors/sample/SampleAudition.h"

#include <algorithm>
#include <cmath>

#include "application/TalmeruApp.h"
#include "editors/sample/SampleEditing.h"
#include "model/Keymap.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"

namespace talmeru {

namespace {

// The highest numbers of a kind that neither the bank nor the ROM holds: the user's own
// objects sit low, so these are the least likely to be wanted while the note sounds.
std::vector<int> FreeNumbers(const ZedoDatabase& bank, const ZedoDatabase* rom, int type,
                             int count) {
    auto taken = [type](const ZedoDatabase& db, int n) {
        return type == kTypeProgram ? db.GetProgram(n) != nullptr : db.GetKeymap(n) != nullptr;
    };
    std::vector<int> out;
    for (int n = kSlotCount - 1; n >= 0 && int(out.size()) < count; --n)
        if (!taken(bank, n) && !(rom && taken(*rom, n))) out.push_back(n);
    return out;
}

}  // namespace

bool SampleAudition::Start(int headerNumber) {
    Stop();
    ZedoDatabase& bank = app_.Bank();
    SampleHeader* header = bank.GetSampleHeader(headerNumber);
    if (!header || !header->Wave()) return false;
    SampleHeader* right = StereoPartner(*header);
    // What the editor changed must reach the synthesizer before the note does.
    app_.FlushPendingEdits();

    const int halves = right ? 2 : 1;
    const std::vector<int> maps = FreeNumbers(bank, app_.Editing().RomBank(), kTypeKeymap, halves);
    const std::vector<int> programs = FreeNumbers(bank, app_.Editing().RomBank(), kTypeProgram, 1);
    if (int(maps.size()) < halves || programs.empty()) return false;

    Keymap keymaps[2];
    const SampleHeader* headers[2] = {header, right};
    for (int i = 0; i < halves; ++i) {
        keymaps[i].SetNumber(maps[size_t(i)]);
        keymaps[i].SetName("Audition");
        keymaps[i].entries = {{127, 0, headers[i]->Number()}};
    }
    if (right) PairStereo(keymaps[0], keymaps[1]);
    Program program;
    program.SetNumber(programs.front());
    program.SetName("Audition");
    if (!program.AddLayer(keymaps[0], right != nullptr)) return false;

    BankLink& link = app_.Synth().Link();
    std::vector<uint8_t> block;
    for (int i = 0; i < halves; ++i) {
        if (keymaps[i].PackToBlock(block) != kObjectPacked || link.StoreObject(block) != 0) {
            keymaps_.assign(maps.begin(), maps.begin() + i);
            Forget();
            return false;
        }
    }
    keymaps_ = maps;
    if (program.PackToBlock(block) != kObjectPacked || link.StoreObject(block) != 0) {
        Forget();
        return false;
    }
    program_ = program.Number();
    app_.Synth().SendShort(0xB0, 0, uint8_t(program_ / 128));
    app_.Synth().SendShort(0xC0, uint8_t(program_ % 128), 0);
    // The key whose pitch is the sample's own: its root key, nearest.
    key_ = std::clamp(static_cast<int>(std::lround(RootKeyOf(*header))), 0, 127);
    app_.KeyEvent(key_, true);
    return true;
}

void SampleAudition::Stop() {
    if (key_ >= 0) app_.KeyEvent(key_, false);
    key_ = -1;
    if (program_ < 0 && keymaps_.empty()) return;
    // The channel plays the current program again before its stand-in goes.
    if (app_.Editing().CurrentProgram()) {
        const int n = app_.Editing().CurrentNumber();
        app_.Synth().SendShort(0xB0, 0, uint8_t(n / 128));
        app_.Synth().SendShort(0xC0, uint8_t(n % 128), 0);
    }
    Forget();
}

void SampleAudition::Forget() {
    BankLink& link = app_.Synth().Link();
    if (program_ >= 0) link.DeleteObject(kTypeProgram, program_);
    for (int n : keymaps_)
        link.DeleteObject(kTypeKeymap, n);
    program_ = -1;
    keymaps_.clear();
}

}  // namespace talmeru
