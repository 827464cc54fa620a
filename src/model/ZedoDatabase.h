#pragma once
// One bank in memory: 512 slots each of keymaps, sample headers and programs (slot index =
// object number), two tables of raw blocks the synthesizer hands us, and the list of wave
// data the sample headers play (element 0 is always the ROM wave data).
#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/BankObject.h"
#include "model/Keymap.h"
#include "model/Program.h"
#include "model/SampleHeader.h"
#include "model/WaveData.h"

namespace talmeru {

inline constexpr int kMaxWaveData = 512;
inline constexpr int kOpenQuiet = 1;

// Filing a packed block (Store). Blocks with no slot (empty, or a number outside 0..511) and
// raw blocks count as stored.
enum StoreResult : int {
    kStored = 0,
    kSampleHeaderRefused = 1,
    kKeymapRefused = 2,
    kProgramRefused = 3,
};

class BankLink;

class ZedoDatabase {
  public:
    // link: the synthesizer the bank is bound to, or none (the ROM bank, previews).
    explicit ZedoDatabase(BankLink* link = nullptr);
    ~ZedoDatabase();
    ZedoDatabase(const ZedoDatabase&) = delete;
    ZedoDatabase& operator=(const ZedoDatabase&) = delete;

    // Destroys every object and all RAM wave data (and the ROM wave data too when asked).
    void Clear(bool alsoRomWave);

    // Files a packed block under its type and number. When the object fails to unpack, its
    // slot is left empty. Raises ZedoException for a type outside 1..3, 5, 6.
    StoreResult Store(std::span<const uint8_t> block);

    Keymap* GetKeymap(int n) const { return InRange(n) ? keymaps_[n].get() : nullptr; }
    SampleHeader* GetSampleHeader(int n) const { return InRange(n) ? samples_[n].get() : nullptr; }
    Program* GetProgram(int n) const { return InRange(n) ? programs_[n].get() : nullptr; }
    BankObject* GetObject(int type, int n) const;
    // The raw block of type 5 or 6 kept in slot n, or nullptr.
    const std::vector<uint8_t>* RawBlock(int type, int n) const;

    int FirstFreeKeymap() const;
    int FirstFreeSampleHeader() const;
    int FirstFreeProgram() const;
    // From slot start upward, the first program named exactly text (any program for "").
    Program* FindProgramByName(std::string_view text, int start) const;

    // Puts an object into the slot of its number, destroying what was there.
    void PutKeymap(std::unique_ptr<Keymap> k);
    void PutSampleHeader(std::unique_ptr<SampleHeader> s);
    void PutProgram(std::unique_ptr<Program> p);

    int WaveDataCount() const { return static_cast<int>(waves_.size()); }
    WaveData* GetWaveData(int i) const {
        return i >= 0 && i < WaveDataCount() ? waves_[static_cast<size_t>(i)].get() : nullptr;
    }
    // Raises "WaveDataList full!" when 512 are there already.
    WaveData* AddWaveData(std::unique_ptr<WaveData> w);
    // Puts fresh in old's place; the headers that played old play fresh.
    void ReplaceWaveData(WaveData* old, std::unique_ptr<WaveData> fresh);
    // Moves the whole list out, for rebuilding it (merging); PutWaveData puts it back,
    // destroying the RAM wave data that no header uses any more.
    std::vector<std::unique_ptr<WaveData>> TakeWaveData() { return std::move(waves_); }
    void PutWaveData(std::vector<std::unique_ptr<WaveData>> list);
    // Wave data that leaves the list (no header plays it any more, or replaced) goes to the
    // keeper instead of being destroyed, so that undo can put it back; none: destroyed.
    using WaveKeeper = std::function<void(std::unique_ptr<WaveData>)>;
    void SetWaveKeeper(WaveKeeper keeper) { waveKeeper_ = std::move(keeper); }
    // Index of w in the list, or -1.
    int IndexOfWaveData(const WaveData* w) const;

    // Empties the object's slot and destroys it; kFailed when it is not in this bank or the
    // synthesizer refuses.
    Result DeleteObject(BankObject* object);
    // Deletes sample header n, removes it from its wave data's users and drops wave data
    // that nobody uses any more. kFailed when there is none or the synthesizer refuses.
    Result DeleteSampleHeader(int n);

    void SetModified(bool on = true) { unsaved_ = on; }
    bool IsModified() const { return unsaved_; }

    // The name to give a new keymap, sample header or program wanted as `wanted`: unique
    // among objects of that type.
    std::string MakeUniqueName(int type, std::string_view wanted) const;

    // Creating and copying objects. number -1 asks for the lowest free slot; nullptr when
    // there is none. A new object replaces whatever held its slot.
    Program* CreateProgram(std::string_view name, int number);
    Keymap* CreateKeymap(std::string_view name, int number);
    // Copies a program of another bank with the keymaps and sample headers it plays,
    // reusing identical ones already here. Raises ZedoException when a wave data cannot be
    // added.
    Program* CopyProgramFrom(const Program& program, const ZedoDatabase& other, int number);
    // Duplicates those of the program, its keymaps and their samples that are marked.
    Program* DuplicateMarked(Program& program, bool uniqueNames);
    // Copies keymap n (and the partner of a left half, the copies paired) into the lowest
    // free slots; the copies are marked. The first copy, or nullptr when a slot is missing.
    Keymap* DuplicateKeymap(int n, bool uniqueNames);

    void ClearMarks();
    // Marks what the next synchronisation sends and flags every wave data for upload.
    void MarkForSync();

    void SetMergeWaveData(bool on) { mergeWaveData_ = on; }
    bool MergeWaveData() const { return mergeWaveData_; }
    void SetLoadWaveData(bool on) { loadWaveData_ = on; }
    bool LoadWaveData() const { return loadWaveData_; }
    void SetPurgeUnused(bool on) { purgeUnused_ = on; }
    bool PurgeUnused() const { return purgeUnused_; }

    bool Merged() const { return merged_; }
    void SetMerged(bool on) { merged_ = on; }
    // Edits are refused while wave data is (or will be) merged.
    bool ReadOnly() const { return mergeWaveData_ || merged_; }

    const std::string& Comment() const { return comment_; }
    void SetComment(std::string_view c) { comment_ = std::string(c.substr(0, 255)); }
    const std::string& Path() const { return path_; }
    void SetPath(std::string p) { path_ = std::move(p); }
    int OpenOptions() const { return openOptions_; }
    void SetOpenOptions(int o) { openOptions_ = o; }

    BankLink* Link() const { return link_; }
    void SetLink(BankLink* link) { link_ = link; }

    // Bank transfer with the synthesizer (the bank's link); see BankTransfer.h for the
    // whole-bank operations. MoveProgram and SwapPrograms tell the synthesizer as they go.
    void MoveProgram(int from, int to);
    void SwapPrograms(int first, int second);

    int programRamFree = 0;
    int sampleRamFree = 0;

  private:
    static bool InRange(int n) { return n >= 0 && n < kSlotCount; }

    BankLink* link_ = nullptr;
    int openOptions_ = 0;
    bool mergeWaveData_ = false;
    bool loadWaveData_ = true;
    bool purgeUnused_ = true;
    bool merged_ = false;
    bool unsaved_ = false;
    std::string comment_ = "MA-1 Rom";
    std::string path_;
    std::array<std::unique_ptr<Keymap>, kSlotCount> keymaps_;
    std::array<std::unique_ptr<Program>, kSlotCount> programs_;
    std::array<std::unique_ptr<SampleHeader>, kSlotCount> samples_;
    std::array<std::vector<uint8_t>, kSlotCount> raw5_;
    std::array<std::vector<uint8_t>, kSlotCount> raw6_;
    std::vector<std::unique_ptr<WaveData>> waves_;
    WaveKeeper waveKeeper_;
};

}  // namespace talmeru
