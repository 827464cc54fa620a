#include "model/BankTransfer.h"

#include <algorithm>
#include <string>
#include <thread>
#include <unordered_set>

#include "model/BankLink.h"
#include "model/WaveMerge.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

bool ThreadUploadHost::RunUpload(const Work& work) {
    UploadObserver silent;
    UploadObserver& observer = observer_ ? *observer_ : silent;
    std::atomic<bool> cancel{false};
    std::thread worker([&] { work(observer, cancel); });
    worker.join();
    return false;
}

TransferResult DownloadAll(ZedoDatabase& db, BankLink& link, DownloadObserver* observer) {
    struct Row {
        int type, count;
    };
    static constexpr Row kRows[] = {{1, 512}, {2, 512}, {3, 512}, {4, 20}, {5, 20}, {6, 20}};
    db.Clear(false);
    std::vector<uint8_t> block;
    TransferResult result = kTransferDone;
    for (const Row& row : kRows) {
        for (int n = 0; n < row.count; ++n) {
            int rc = link.GetObject(row.type, n, block);
            if (rc == kGetFailed) {
                ShowMessage("Download was cancelled. Not all objects are available");
                result = kTransferFailed;
                break;
            }
            // The synthesizer's type-4 objects have no place in a bank.
            if (rc == kGotObject && row.type != 4) db.Store(block);
            if (observer && n % 16 == 0) observer->Reached(row.type, n);
        }
        if (result != kTransferDone) break;
        if (observer) observer->Reached(row.type, row.count);
    }
    db.SetPath("Current Bank");
    return result;
}

void RestoreRom(ZedoDatabase& db, const ZedoDatabase& rom, int flags) {
    db.Clear(false);
    WaveData* romWave = db.GetWaveData(0);
    std::vector<uint8_t> block;
    for (int n = 0; n < kSlotCount; ++n) {
        if (SampleHeader* s = rom.GetSampleHeader(n); s && s->PackToBlock(block) == 0) {
            auto copy = std::make_unique<SampleHeader>();
            if (copy->Unpack(block) == 0) {
                copy->stereoRole = s->stereoRole;
                copy->AttachWave(romWave, kAttachReference);
                if (romWave) romWave->links.push_back({n, false});
                db.PutSampleHeader(std::move(copy));
            }
        }
        if (Keymap* k = rom.GetKeymap(n); k && k->PackToBlock(block) == 0) {
            auto copy = std::make_unique<Keymap>();
            if (copy->Unpack(block) == 0) {
                copy->stereoRole = k->stereoRole;
                db.PutKeymap(std::move(copy));
            }
        }
        if (flags & kRestorePrograms)
            if (Program* p = rom.GetProgram(n)) db.PutProgram(std::make_unique<Program>(*p));
    }
    db.SetModified(false);
    if ((flags & kRestoreRename) && db.Link())
        db.SetPath(Fmt("MA-1 GM Bank %04x.pbf", db.Link()->RomVersion()));
}

TransferResult Synchronise(ZedoDatabase& db, const ZedoDatabase* rom, UploadHost& host) {
    BankLink* link = db.Link();
    if (!link) return kTransferFailed;
    db.MarkForSync();
    link->ClearRam();
    return UploadMarked(db, rom, host);
}

TransferResult UploadMarked(ZedoDatabase& db, const ZedoDatabase* rom, UploadHost& host) {
    BankLink* link = db.Link();
    if (!link || link->QueryMemory(1) != kReplied) return kTransferFailed;
    db.programRamFree = static_cast<int>(std::min<uint32_t>(link->Memory().programFree, INT32_MAX));
    db.sampleRamFree = static_cast<int>(std::min<uint32_t>(link->Memory().sampleFree, INT32_MAX));
    bool cancelled = host.RunUpload([&](UploadObserver& observer, const std::atomic<bool>& cancel) {
        return UploadAll(db, rom, observer, cancel);
    });
    if (cancelled) {
        ShowMessage("You cancelled the upload, things will probably be corrupt...");
        return kTransferFailed;
    }
    if (link->QueryMemory(1) != kReplied) return kTransferFailed;
    db.ClearMarks();
    return kTransferDone;
}

namespace {

// "3 Piano, 12 Strings": the programs with a layer whose keymap plays a header of w.
std::string ProgramsPlaying(ZedoDatabase& db, const WaveData& w) {
    std::unordered_set<int> headers, keymaps;
    for (int n = 0; n < kSlotCount; ++n)
        if (const SampleHeader* h = db.GetSampleHeader(n); h && h->Wave() == &w) headers.insert(n);
    for (int n = 0; n < kSlotCount; ++n)
        if (const Keymap* k = db.GetKeymap(n))
            for (const KeymapEntry& e : k->entries)
                if (headers.count(e.sample)) keymaps.insert(n);
    std::string list;
    for (int n = 0; n < kSlotCount; ++n) {
        const Program* p = db.GetProgram(n);
        if (!p) continue;
        const auto& layers = p->Layers();
        if (std::none_of(layers.begin(), layers.end(),
                         [&](const auto& l) { return keymaps.count(l->keymap) != 0; }))
            continue;
        list += (list.empty() ? "" : ", ") + Fmt("%d %s", n, p->Name().c_str());
    }
    return list;
}

// What a skipped wave data takes with it, and where the emulator's sample RAM is set.
std::string NotFitting(const std::string& programs) {
    return (programs.empty() ? std::string() : "\nPrograms that did not fit: " + programs + ".") +
           "\nThe emulator's sample RAM is set in File > Properties (Audio).";
}

// One phase of objects in slot order; false when the upload must end (failure or cancel).
template <typename Get, typename RomGet>
bool UploadObjects(ZedoDatabase& db, Get get, RomGet romGet, int code, UploadObserver& observer,
                   const std::atomic<bool>& cancel, bool& cancelled) {
    int marked = 0;
    for (int n = 0; n < kSlotCount; ++n)
        if (BankObject* o = get(n); o && o->marked) ++marked;
    int sent = 0;
    // A right half goes with its left half, not a second time from its own slot.
    std::unordered_set<const BankObject*> done;
    for (int n = 0; n < kSlotCount; ++n) {
        BankObject* o = get(n);
        if (o && o->marked) {
            observer.ObjectText(o->Name());
            if (o->Upload(*db.Link(), romGet(n), db.programRamFree, &done) != 0) return false;
            observer.Percent(code, 100 * ++sent / marked);
        }
        if (cancel.load()) {
            cancelled = true;
            return false;
        }
    }
    return true;
}

}  // namespace

TransferResult UploadAll(ZedoDatabase& db, const ZedoDatabase* rom, UploadObserver& observer,
                         const std::atomic<bool>& cancel) {
    BankLink& link = *db.Link();
    bool cancelled = false;
    auto finish = [&] {
        observer.Ended();
        return cancelled ? kTransferFailed : kTransferDone;
    };
    if (db.LoadWaveData()) {
        if (db.MergeWaveData()) MergeWaveData(db);
        const int count = db.WaveDataCount();
        for (int i = 0; i < count; ++i) {
            WaveData* w = db.GetWaveData(i);
            if (w->NeedsUpload() && w->StorageClass() != kNotSaved) {
                std::string name = w->DisplayName();
                if (w->IsStereo()) name += w->channel == kRightChannel ? " (right)" : " (left)";
                observer.ObjectText(name);
                int size = w->Length();
                int rc = w->Upload(link, db.sampleRamFree);
                if (rc == kOutOfSampleRam) {
                    ShowMessage(
                        Fmt("Skipping \"%s\" (%d bytes) because not enough sample RAM: Free "
                            "space (%d bytes), Total installed (%d bytes). You will likely "
                            "hear random sounds for the samples that are affected.",
                            w->DisplayName().c_str(), size, db.sampleRamFree,
                            static_cast<int>(link.Memory().sampleTotal)) +
                        NotFitting(ProgramsPlaying(db, *w)));
                } else if (rc != kWaveUploaded) {
                    ShowMessage("Upload was not totally successful.");
                    return finish();
                }
            }
            observer.Percent(kProgressWaveData, 100 * (i + 1) / count);
            if (cancel.load()) {
                cancelled = true;
                return finish();
            }
        }
    }
    // A header that never got its offsets (no loop, no end) takes them from its wave data
    // before it goes. Headers with offsets keep them: they may play a part of their data, or
    // their stretch of a merged block.
    for (int n = 0; n < kSlotCount; ++n) {
        SampleHeader* s = db.GetSampleHeader(n);
        if (s && s->marked && s->loopStart == -1 && s->end == 0 && s->Wave() && !s->Wave()->IsRom())
            s->AttachWave(s->Wave(), kAttachPoints);
    }
    auto romOf = [rom](int type) {
        return
            [rom, type](int n) -> BankObject* { return rom ? rom->GetObject(type, n) : nullptr; };
    };
    auto mine = [&db](int type) { return [&db, type](int n) { return db.GetObject(type, n); }; };
    if (UploadObjects(db, mine(kTypeSampleHeader), romOf(kTypeSampleHeader), kProgressSampleHeaders,
                      observer, cancel, cancelled) &&
        UploadObjects(db, mine(kTypeKeymap), romOf(kTypeKeymap), kProgressKeymaps, observer, cancel,
                      cancelled))
        UploadObjects(db, mine(kTypeProgram), romOf(kTypeProgram), kProgressPrograms, observer,
                      cancel, cancelled);
    return finish();
}

}  // namespace talmeru
