// The LV2 face of the instrument: ports, the bank as a patch:writable path loaded on the
// host's worker thread, the bank's path kept in the host's project (LV2 state), and log
// messages for banks that cannot be played.
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/core/lv2_util.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "plugin/BankLoader.h"
#include "plugin/Instrument.h"
#include "plugin/Uris.h"

namespace talmeru::plugin {

namespace {

enum Port : uint32_t {
    kControl = 0,
    kNotify = 1,
    kOutLeft = 2,
    kOutRight = 3,
    kGain = 4,
    kReverb = 5,
    kChorus = 6,
    kSampleRam = 7,
    kLatencyOut = 8,
};

// A path the host hands over no longer than this is loaded; longer ones are refused.
constexpr size_t kMaxPath = 4096;

struct Urids {
    explicit Urids(LV2_URID_Map* map)
        : atomPath(map->map(map->handle, LV2_ATOM__Path)),
          atomUrid(map->map(map->handle, LV2_ATOM__URID)),
          atomObject(map->map(map->handle, LV2_ATOM__Object)),
          atomSequence(map->map(map->handle, LV2_ATOM__Sequence)),
          midiEvent(map->map(map->handle, LV2_MIDI__MidiEvent)),
          patchSet(map->map(map->handle, LV2_PATCH__Set)),
          patchGet(map->map(map->handle, LV2_PATCH__Get)),
          patchProperty(map->map(map->handle, LV2_PATCH__property)),
          patchValue(map->map(map->handle, LV2_PATCH__value)),
          bank(map->map(map->handle, kBankUri)) {}
    LV2_URID atomPath, atomUrid, atomObject, atomSequence, midiEvent;
    LV2_URID patchSet, patchGet, patchProperty, patchValue, bank;
};

// What run() asks the worker for: a bank to load (the path's characters follow), or to free
// the banks no note plays any more.
enum class Job : uint32_t { kLoad, kCollect };
struct WorkRequest {
    Job job;
    uint32_t sampleRamMiB;
    uint32_t pathLength;
};

// What the worker answers run() with: the path of the bank now playing (its characters
// follow), or whether only that bank is left in memory.
struct WorkAnswer {
    Job job;
    uint32_t value;  // the path's length; 1 when collected
};

// How often the worker is asked to free the old bank while notes may still play it.
constexpr double kCollectSeconds = 0.5;

class Plugin {
  public:
    Plugin(double rate, LV2_URID_Map* map, LV2_Worker_Schedule* schedule, LV2_Log_Log* log)
        : urids_(map),
          schedule_(schedule),
          instrument_(rate),
          collectFrames_(int64_t(rate * kCollectSeconds)) {
        lv2_log_logger_init(&logger_, map, log);
        lv2_atom_forge_init(&forge_, map);
        LoadedBank rom = LoadBank("", kDefaultSampleRamMiB << 20);
        instrument_.SetBank(rom.image);
    }

    void Connect(uint32_t port, void* data) {
        if (port < kPortCount) ports_[port] = data;
    }

    void Run(uint32_t frames);

    // ---- worker thread
    LV2_Worker_Status Work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                           uint32_t size, const void* data);
    // ---- audio thread, after run()
    void WorkResponse(uint32_t size, const void* data);

    LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle,
                          const LV2_Feature* const* features);
    LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                             const LV2_Feature* const* features);

  private:
    static constexpr uint32_t kPortCount = 9;

    // A port's value; the fallback for a port not connected or a value that is no number.
    float Control(Port port, float fallback) const {
        const float v = ports_[port] ? *static_cast<const float*>(ports_[port]) : fallback;
        return std::isfinite(v) ? v : fallback;
    }
    void Message(const LV2_Atom_Object* object);
    void RequestLoad(const LV2_Atom* value);
    void NotifyBank();
    void ScheduleCollect(uint32_t frames);
    // Not on the audio thread: loads the bank and, when that worked, plays it; false (the
    // reason logged) keeps the previous bank playing.
    bool Load(const std::string& path, uint32_t sampleRamMiB);

    Urids urids_;
    LV2_Worker_Schedule* schedule_;
    LV2_Log_Logger logger_{};
    LV2_Atom_Forge forge_{};
    Instrument instrument_;
    void* ports_[kPortCount] = {};
    // The bank playing, for notifications on the audio thread.
    char playing_[kMaxPath + 1] = {};
    bool notifyPending_ = false;
    // After a bank change, until the old bank has been freed on the worker.
    bool collecting_ = false, collectAsked_ = false;
    const int64_t collectFrames_;
    int64_t untilCollect_ = 0;
    // The bank playing, for saving: the worker and the host's state calls share it.
    std::mutex pathMutex_;
    std::string path_;
    // A request's bytes, gathered without allocating.
    alignas(WorkRequest) char request_[sizeof(WorkRequest) + kMaxPath];
};

void Plugin::Run(uint32_t frames) {
    auto* left = static_cast<float*>(ports_[kOutLeft]);
    auto* right = static_cast<float*>(ports_[kOutRight]);
    if (auto* latency = static_cast<float*>(ports_[kLatencyOut]))
        *latency = float(Instrument::kLatency);
    instrument_.SetGainDb(Control(kGain, 0));
    instrument_.SetEffects(int(Control(kReverb, 0)), int(Control(kChorus, 0)));
    if (const auto* in = static_cast<const LV2_Atom_Sequence*>(ports_[kControl])) {
        LV2_ATOM_SEQUENCE_FOREACH(in, ev) {
            if (ev->body.type == urids_.midiEvent) {
                const auto* bytes = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body));
                // Channel messages only; system exclusive has no meaning for the voice engine.
                if (ev->body.size == 0 || ev->body.size > 3 || bytes[0] < 0x80 || bytes[0] >= 0xF0)
                    continue;
                uint32_t message = bytes[0];
                for (uint32_t i = 1; i < ev->body.size; ++i)
                    message |= uint32_t(bytes[i] & 0x7F) << (8 * i);
                instrument_.Queue(int(std::min<int64_t>(ev->time.frames, frames)), message);
            } else if (lv2_atom_forge_is_object_type(&forge_, ev->body.type)) {
                Message(reinterpret_cast<const LV2_Atom_Object*>(&ev->body));
            }
        }
    }
    if (auto* out = static_cast<LV2_Atom_Sequence*>(ports_[kNotify])) {
        const uint32_t capacity = out->atom.size;
        lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(out), capacity);
        LV2_Atom_Forge_Frame frame;
        lv2_atom_forge_sequence_head(&forge_, &frame, 0);
        if (notifyPending_) NotifyBank();
        lv2_atom_forge_pop(&forge_, &frame);
    }
    if (left && right) instrument_.Run(left, right, int(frames));
    ScheduleCollect(frames);
}

void Plugin::ScheduleCollect(uint32_t frames) {
    if (!collecting_ || collectAsked_ || !schedule_) return;
    untilCollect_ -= frames;
    if (untilCollect_ > 0) return;
    const WorkRequest request{Job::kCollect, 0, 0};
    collectAsked_ =
        schedule_->schedule_work(schedule_->handle, sizeof request, &request) == LV2_WORKER_SUCCESS;
    untilCollect_ = collectFrames_;
}

void Plugin::Message(const LV2_Atom_Object* object) {
    if (object->body.otype == urids_.patchGet) {
        notifyPending_ = true;
        return;
    }
    if (object->body.otype != urids_.patchSet) return;
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, urids_.patchProperty, &property, urids_.patchValue, &value, 0);
    if (!property || property->type != urids_.atomUrid || !value) return;
    if (reinterpret_cast<const LV2_Atom_URID*>(property)->body != urids_.bank) return;
    RequestLoad(value);
}

void Plugin::RequestLoad(const LV2_Atom* value) {
    if (!schedule_ || value->type != urids_.atomPath) return;
    // The path atom's body is its characters with a terminating zero.
    const auto* chars = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
    const uint32_t length = uint32_t(strnlen(chars, std::min<size_t>(value->size, kMaxPath)));
    const WorkRequest head{
        Job::kLoad,
        uint32_t(std::clamp(Control(kSampleRam, float(kDefaultSampleRamMiB)), 0.0f, 4095.0f)),
        length};
    std::memcpy(request_, &head, sizeof head);
    std::memcpy(request_ + sizeof head, chars, length);
    schedule_->schedule_work(schedule_->handle, uint32_t(sizeof head + length), request_);
}

void Plugin::NotifyBank() {
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_frame_time(&forge_, 0);
    lv2_atom_forge_object(&forge_, &frame, 0, urids_.patchSet);
    lv2_atom_forge_key(&forge_, urids_.patchProperty);
    lv2_atom_forge_urid(&forge_, urids_.bank);
    lv2_atom_forge_key(&forge_, urids_.patchValue);
    lv2_atom_forge_path(&forge_, playing_, uint32_t(std::strlen(playing_)));
    lv2_atom_forge_pop(&forge_, &frame);
    notifyPending_ = false;
}

bool Plugin::Load(const std::string& path, uint32_t sampleRamMiB) {
    LoadedBank bank = LoadBank(path, sampleRamMiB << 20);
    if (!bank.image) {
        lv2_log_error(&logger_, "Talmeru MA-1: %s The previous bank goes on playing.\n",
                      bank.error.c_str());
        return false;
    }
    instrument_.SetBank(std::move(bank.image));
    lv2_log_note(&logger_, "Talmeru MA-1: playing %s\n", bank.name.c_str());
    std::lock_guard lock(pathMutex_);
    path_ = path;
    return true;
}

LV2_Worker_Status Plugin::Work(LV2_Worker_Respond_Function respond,
                               LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
    WorkRequest head;
    if (size < sizeof head) return LV2_WORKER_ERR_UNKNOWN;
    std::memcpy(&head, data, sizeof head);
    if (head.job == Job::kCollect) {
        const WorkAnswer a{Job::kCollect, instrument_.Collect() ? 1u : 0u};
        respond(handle, sizeof a, &a);
        return LV2_WORKER_SUCCESS;
    }
    if (head.job != Job::kLoad || head.pathLength > size - sizeof head)
        return LV2_WORKER_ERR_UNKNOWN;
    const std::string path(static_cast<const char*>(data) + sizeof head, head.pathLength);
    if (!Load(path, head.sampleRamMiB)) return LV2_WORKER_SUCCESS;
    std::string answer(sizeof(WorkAnswer), '\0');
    const WorkAnswer a{Job::kLoad, head.pathLength};
    std::memcpy(answer.data(), &a, sizeof a);
    answer += path;
    respond(handle, uint32_t(answer.size()), answer.data());
    return LV2_WORKER_SUCCESS;
}

void Plugin::WorkResponse(uint32_t size, const void* data) {
    WorkAnswer a;
    if (size < sizeof a) return;
    std::memcpy(&a, data, sizeof a);
    if (a.job == Job::kCollect) {
        collectAsked_ = false;
        collecting_ = a.value == 0;
        return;
    }
    const uint32_t length =
        std::min<uint32_t>({a.value, size - uint32_t(sizeof a), uint32_t(kMaxPath)});
    std::memcpy(playing_, static_cast<const char*>(data) + sizeof a, length);
    playing_[length] = '\0';
    notifyPending_ = true;
    collecting_ = true;
    untilCollect_ = collectFrames_;
}

LV2_State_Status Plugin::Save(LV2_State_Store_Function store, LV2_State_Handle handle,
                              const LV2_Feature* const* features) {
    std::string path;
    {
        std::lock_guard lock(pathMutex_);
        path = path_;
    }
    if (path.empty()) return LV2_STATE_SUCCESS;
    const auto* mapPath =
        static_cast<const LV2_State_Map_Path*>(lv2_features_data(features, LV2_STATE__mapPath));
    const auto* freePath =
        static_cast<const LV2_State_Free_Path*>(lv2_features_data(features, LV2_STATE__freePath));
    char* abstract = mapPath ? mapPath->abstract_path(mapPath->handle, path.c_str()) : nullptr;
    const char* stored = abstract ? abstract : path.c_str();
    store(handle, urids_.bank, stored, std::strlen(stored) + 1, urids_.atomPath,
          LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    if (abstract) {
        if (freePath)
            freePath->free_path(freePath->handle, abstract);
        else
            std::free(abstract);
    }
    return LV2_STATE_SUCCESS;
}

LV2_State_Status Plugin::Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                                 const LV2_Feature* const* features) {
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* value = retrieve(handle, urids_.bank, &size, &type, &flags);
    if (!value || type != urids_.atomPath || size == 0) return LV2_STATE_SUCCESS;
    std::string stored(static_cast<const char*>(value),
                       strnlen(static_cast<const char*>(value), size));
    const auto* mapPath =
        static_cast<const LV2_State_Map_Path*>(lv2_features_data(features, LV2_STATE__mapPath));
    const auto* freePath =
        static_cast<const LV2_State_Free_Path*>(lv2_features_data(features, LV2_STATE__freePath));
    std::string path = stored;
    if (mapPath) {
        if (char* absolute = mapPath->absolute_path(mapPath->handle, stored.c_str())) {
            path = absolute;
            if (freePath)
                freePath->free_path(freePath->handle, absolute);
            else
                std::free(absolute);
        }
    }
    // The host does not run the plugin while it restores, so the bank is loaded here.
    if (!Load(path, uint32_t(Control(kSampleRam, float(kDefaultSampleRamMiB))))) {
        return LV2_STATE_ERR_UNKNOWN;
    }
    const size_t length = std::min(path.size(), kMaxPath);
    std::memcpy(playing_, path.data(), length);
    playing_[length] = '\0';
    notifyPending_ = true;
    return LV2_STATE_SUCCESS;
}

// ---- the C entry points

Plugin* Self(LV2_Handle h) {
    return static_cast<Plugin*>(h);
}

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    LV2_URID_Map* map = nullptr;
    LV2_Worker_Schedule* schedule = nullptr;
    LV2_Log_Log* log = nullptr;
    // Without a worker the plugin plays the bank its state names, but cannot change it.
    const char* missing =
        lv2_features_query(features, LV2_LOG__log, &log, false, LV2_URID__map, &map, true,
                           LV2_WORKER__schedule, &schedule, false, nullptr);
    if (missing) {
        LV2_Log_Logger logger{};
        lv2_log_logger_init(&logger, map, log);
        lv2_log_error(&logger, "Talmeru MA-1: the host lacks the feature <%s>\n", missing);
        return nullptr;
    }
    try {
        return new Plugin(rate, map, schedule, log);
    } catch (const std::exception&) {
        return nullptr;
    }
}

void ConnectPort(LV2_Handle h, uint32_t port, void* data) {
    Self(h)->Connect(port, data);
}

void Run(LV2_Handle h, uint32_t frames) {
    Self(h)->Run(frames);
}

void Cleanup(LV2_Handle h) {
    delete Self(h);
}

LV2_Worker_Status WorkEntry(LV2_Handle h, LV2_Worker_Respond_Function respond,
                            LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
    try {
        return Self(h)->Work(respond, handle, size, data);
    } catch (const std::exception&) {
        return LV2_WORKER_ERR_UNKNOWN;
    }
}

LV2_Worker_Status WorkResponseEntry(LV2_Handle h, uint32_t size, const void* data) {
    Self(h)->WorkResponse(size, data);
    return LV2_WORKER_SUCCESS;
}

LV2_State_Status SaveEntry(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                           uint32_t, const LV2_Feature* const* features) {
    return Self(h)->Save(store, handle, features);
}

LV2_State_Status RestoreEntry(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                              LV2_State_Handle handle, uint32_t,
                              const LV2_Feature* const* features) {
    try {
        return Self(h)->Restore(retrieve, handle, features);
    } catch (const std::exception&) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const void* ExtensionData(const char* uri) {
    static const LV2_Worker_Interface worker = {WorkEntry, WorkResponseEntry, nullptr};
    static const LV2_State_Interface state = {SaveEntry, RestoreEntry};
    if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, Instantiate, ConnectPort, nullptr,
                                    Run,        nullptr,     Cleanup,     ExtensionData};

}  // namespace

}  // namespace talmeru::plugin

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &talmeru::plugin::kDescriptor : nullptr;
}
