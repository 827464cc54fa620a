#pragma once
// A small LV2 host on lilv for the instrument's tests: URID map, a worker run between blocks
// (as hosts run theirs beside the audio thread), a log that keeps its messages, and state
// saved to and restored from a folder. It counts what run() allocates.
#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/log/log.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace talmeru::test {

// Heap allocations made on this thread while counting is on (operator new is replaced in
// the test program).
int64_t AllocationsCounted();
void CountAllocations(bool on);

struct MidiEvent {
    int frame;
    std::vector<uint8_t> bytes;
};

class Lv2Host {
  public:
    // Loads the bundle at bundlePath (a folder) and finds the plugin.
    Lv2Host(const std::string& bundlePath, const std::string& pluginUri);
    ~Lv2Host();
    Lv2Host(const Lv2Host&) = delete;
    Lv2Host& operator=(const Lv2Host&) = delete;

    bool Found() const { return plugin_ != nullptr; }
    LV2_URID Map(const std::string& uri);
    const char* Unmap(LV2_URID urid) const;

    const LilvPlugin* plugin_ = nullptr;
    LilvWorld* world_ = nullptr;
    LV2_URID_Map map_{};
    LV2_URID_Unmap unmap_{};

  private:
    std::map<std::string, LV2_URID> ids_;
    std::vector<std::string> uris_;
};

class Lv2Instance {
  public:
    static constexpr int kMaxBlock = 4096;

    Lv2Instance(Lv2Host& host, double rate);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool Ok() const { return instance_ != nullptr; }
    void SetControl(const std::string& symbol, float value);
    // Sends patch:Set of the bank path with the next block.
    void SetBank(const std::string& path) { bankToSet_ = path; }
    // Runs one block with these events; the worker's requests are answered after it. The
    // block's stereo output is appended to left/right.
    void Run(int frames, const std::vector<MidiEvent>& events);
    // Runs blocks of the given sizes (repeating the list) until `frames` frames are done;
    // events are at frames from the start of the first block.
    void Play(int64_t frames, const std::vector<int>& blocks, std::vector<MidiEvent> events);

    bool SaveState(const std::string& dir);
    bool RestoreState(const std::string& dir);

    std::vector<float> left, right;
    std::vector<std::string> log;            // every log message
    std::vector<std::string> notifiedBanks;  // paths of patch:Set notifications

  private:
    static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle h, uint32_t size,
                                      const void* data);
    static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle h, uint32_t size, const void* data);
    static int Printf(LV2_Log_Handle h, LV2_URID type, const char* fmt, ...);
    static int Vprintf(LV2_Log_Handle h, LV2_URID type, const char* fmt, va_list ap);
    void ReadNotifications();
    std::vector<const LV2_Feature*> Features();

    Lv2Host& host_;
    LilvInstance* instance_ = nullptr;
    const LV2_Worker_Interface* worker_ = nullptr;
    LV2_Worker_Schedule schedule_{};
    LV2_Log_Log logFeature_{};
    LV2_Feature mapF_{}, unmapF_{}, scheduleF_{}, logF_{};
    LV2_Atom_Forge forge_{};
    std::map<std::string, uint32_t> indices_;
    std::vector<float> controls_;
    alignas(16) std::array<uint8_t, 65536> in_{};
    alignas(16) std::array<uint8_t, 65536> notify_{};
    std::array<float, kMaxBlock> outL_{}, outR_{};
    // The one request the worker has waiting and the answers it gave, held without
    // allocating, since run() schedules.
    std::array<uint8_t, 8192> request_{};
    uint32_t requestSize_ = 0;
    bool requested_ = false;
    std::vector<std::vector<uint8_t>> responses_;
    std::string bankToSet_;
};

}  // namespace talmeru::test
