#include "plugin/Lv2Host.h"

#include <lilv/lilv.h>
#include <lv2/atom/util.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::atomic<int64_t> gAllocations{0};
thread_local bool tCounting = false;

void* Allocate(std::size_t size) {
    if (tCounting) ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace talmeru::test {

int64_t AllocationsCounted() {
    return gAllocations.load();
}
void CountAllocations(bool on) {
    tCounting = on;
}

// ---- host

Lv2Host::Lv2Host(const std::string& bundlePath, const std::string& pluginUri) {
    map_ = {this, [](LV2_URID_Map_Handle h, const char* uri) {
                return static_cast<Lv2Host*>(h)->Map(uri);
            }};
    unmap_ = {this, [](LV2_URID_Unmap_Handle h, LV2_URID urid) {
                  return static_cast<Lv2Host*>(h)->Unmap(urid);
              }};
    world_ = lilv_world_new();
    // The specifications the bundle's description uses, from the system's LV2 folders.
    lilv_world_load_all(world_);
    std::string dir = bundlePath;
    if (dir.back() != '/') dir += '/';
    LilvNode* bundle = lilv_new_file_uri(world_, nullptr, dir.c_str());
    lilv_world_load_bundle(world_, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world_, pluginUri.c_str());
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
    lilv_node_free(uri);
}

Lv2Host::~Lv2Host() {
    lilv_world_free(world_);
}

LV2_URID Lv2Host::Map(const std::string& uri) {
    auto [it, added] = ids_.try_emplace(uri, LV2_URID(uris_.size() + 1));
    if (added) uris_.push_back(uri);
    return it->second;
}

const char* Lv2Host::Unmap(LV2_URID urid) const {
    return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
}

// ---- instance

Lv2Instance::Lv2Instance(Lv2Host& host, double rate) : host_(host) {
    schedule_ = {this, Schedule};
    logFeature_ = {this, Printf, Vprintf};
    mapF_ = {LV2_URID__map, &host.map_};
    unmapF_ = {LV2_URID__unmap, &host.unmap_};
    scheduleF_ = {LV2_WORKER__schedule, &schedule_};
    logF_ = {LV2_LOG__log, &logFeature_};
    lv2_atom_forge_init(&forge_, &host.map_);
    responses_.reserve(8);
    auto features = Features();
    instance_ = lilv_plugin_instantiate(host.plugin_, rate, features.data());
    if (!instance_) return;
    worker_ = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
    const uint32_t ports = lilv_plugin_get_num_ports(host.plugin_);
    controls_.assign(ports, 0.0f);
    std::vector<float> defaults(ports);
    lilv_plugin_get_port_ranges_float(host.plugin_, nullptr, nullptr, defaults.data());
    LilvNode* audio = lilv_new_uri(host.world_, LV2_CORE__AudioPort);
    LilvNode* control = lilv_new_uri(host.world_, LV2_CORE__ControlPort);
    LilvNode* input = lilv_new_uri(host.world_, LV2_CORE__InputPort);
    int audioOuts = 0;
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(host.plugin_, i);
        indices_[lilv_node_as_string(lilv_port_get_symbol(host.plugin_, port))] = i;
        if (lilv_port_is_a(host.plugin_, port, audio)) {
            lilv_instance_connect_port(instance_, i,
                                       audioOuts++ == 0 ? outL_.data() : outR_.data());
        } else if (lilv_port_is_a(host.plugin_, port, control)) {
            controls_[i] = std::isnan(defaults[i]) ? 0.0f : defaults[i];
            lilv_instance_connect_port(instance_, i, &controls_[i]);
        } else {
            const bool isInput = lilv_port_is_a(host.plugin_, port, input);
            lilv_instance_connect_port(instance_, i, isInput ? in_.data() : notify_.data());
        }
    }
    lilv_node_free(audio);
    lilv_node_free(control);
    lilv_node_free(input);
    lilv_instance_activate(instance_);
}

Lv2Instance::~Lv2Instance() {
    if (!instance_) return;
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
}

std::vector<const LV2_Feature*> Lv2Instance::Features() {
    return {&mapF_, &unmapF_, &scheduleF_, &logF_, nullptr};
}

void Lv2Instance::SetControl(const std::string& symbol, float value) {
    controls_[indices_.at(symbol)] = value;
}

void Lv2Instance::Run(int frames, const std::vector<MidiEvent>& events) {
    const LV2_URID midi = host_.Map(LV2_MIDI__MidiEvent);
    lv2_atom_forge_set_buffer(&forge_, in_.data(), in_.size());
    LV2_Atom_Forge_Frame seq;
    lv2_atom_forge_sequence_head(&forge_, &seq, 0);
    if (!bankToSet_.empty()) {
        LV2_Atom_Forge_Frame obj;
        lv2_atom_forge_frame_time(&forge_, 0);
        lv2_atom_forge_object(&forge_, &obj, 0, host_.Map(LV2_PATCH__Set));
        lv2_atom_forge_key(&forge_, host_.Map(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge_, host_.Map("urn:talmeru:ma1#bank"));
        lv2_atom_forge_key(&forge_, host_.Map(LV2_PATCH__value));
        lv2_atom_forge_path(&forge_, bankToSet_.c_str(), uint32_t(bankToSet_.size()));
        lv2_atom_forge_pop(&forge_, &obj);
        bankToSet_.clear();
    }
    for (const MidiEvent& e : events) {
        lv2_atom_forge_frame_time(&forge_, e.frame);
        lv2_atom_forge_atom(&forge_, uint32_t(e.bytes.size()), midi);
        lv2_atom_forge_write(&forge_, e.bytes.data(), uint32_t(e.bytes.size()));
    }
    lv2_atom_forge_pop(&forge_, &seq);
    auto* out = reinterpret_cast<LV2_Atom_Sequence*>(notify_.data());
    out->atom.type = 0;
    out->atom.size = uint32_t(notify_.size() - sizeof(LV2_Atom));

    CountAllocations(true);
    lilv_instance_run(instance_, uint32_t(frames));
    CountAllocations(false);

    left.insert(left.end(), outL_.begin(), outL_.begin() + frames);
    right.insert(right.end(), outR_.begin(), outR_.begin() + frames);
    ReadNotifications();
    if (requested_ && worker_) {
        requested_ = false;
        worker_->work(lilv_instance_get_handle(instance_), Respond, this, requestSize_,
                      request_.data());
    }
    for (const auto& r : responses_)
        worker_->work_response(lilv_instance_get_handle(instance_), uint32_t(r.size()), r.data());
    responses_.clear();
}

void Lv2Instance::Play(int64_t frames, const std::vector<int>& blocks,
                       std::vector<MidiEvent> events) {
    size_t next = 0, which = 0;
    for (int64_t done = 0; done < frames;) {
        const int n = int(std::min<int64_t>(blocks[which++ % blocks.size()], frames - done));
        std::vector<MidiEvent> now;
        for (; next < events.size() && events[next].frame < done + n; ++next)
            now.push_back({int(events[next].frame - done), events[next].bytes});
        Run(n, now);
        done += n;
    }
}

void Lv2Instance::ReadNotifications() {
    const auto* seq = reinterpret_cast<const LV2_Atom_Sequence*>(notify_.data());
    if (seq->atom.type == 0) return;
    LV2_ATOM_SEQUENCE_FOREACH(seq, ev) {
        if (ev->body.type != host_.Map(LV2_ATOM__Object)) continue;
        const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(obj, host_.Map(LV2_PATCH__value), &value, 0);
        if (obj->body.otype == host_.Map(LV2_PATCH__Set) && value &&
            value->type == host_.Map(LV2_ATOM__Path))
            notifiedBanks.emplace_back(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)));
    }
}

LV2_Worker_Status Lv2Instance::Schedule(LV2_Worker_Schedule_Handle h, uint32_t size,
                                        const void* data) {
    auto* self = static_cast<Lv2Instance*>(h);
    if (self->requested_ || size > self->request_.size()) return LV2_WORKER_ERR_NO_SPACE;
    std::memcpy(self->request_.data(), data, size);
    self->requestSize_ = size;
    self->requested_ = true;
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Lv2Instance::Respond(LV2_Worker_Respond_Handle h, uint32_t size,
                                       const void* data) {
    auto* self = static_cast<Lv2Instance*>(h);
    const auto* bytes = static_cast<const uint8_t*>(data);
    self->responses_.emplace_back(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
}

int Lv2Instance::Printf(LV2_Log_Handle h, LV2_URID type, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int n = Vprintf(h, type, fmt, ap);
    va_end(ap);
    return n;
}

int Lv2Instance::Vprintf(LV2_Log_Handle h, LV2_URID, const char* fmt, va_list ap) {
    char text[2048];
    const int n = std::vsnprintf(text, sizeof text, fmt, ap);
    static_cast<Lv2Instance*>(h)->log.emplace_back(text);
    return n;
}

// ---- state

namespace {

// Only the bank is state here; the controls are the host's to keep.
const void* NoPortValue(const char*, void*, uint32_t* size, uint32_t* type) {
    *size = 0;
    *type = 0;
    return nullptr;
}

}  // namespace

bool Lv2Instance::SaveState(const std::string& dir) {
    auto features = Features();
    LilvState* state = lilv_state_new_from_instance(
        host_.plugin_, instance_, &host_.map_, nullptr, nullptr, dir.c_str(), dir.c_str(),
        NoPortValue, nullptr, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features.data());
    if (!state) return false;
    const int rc = lilv_state_save(host_.world_, &host_.map_, &host_.unmap_, state, nullptr,
                                   dir.c_str(), "state.ttl");
    lilv_state_free(state);
    return rc == 0;
}

bool Lv2Instance::RestoreState(const std::string& dir) {
    const std::string file = dir + "/state.ttl";
    LilvState* state = lilv_state_new_from_file(host_.world_, &host_.map_, nullptr, file.c_str());
    if (!state) return false;
    auto features = Features();
    lilv_state_restore(state, instance_, nullptr, nullptr, 0, features.data());
    lilv_state_free(state);
    return true;
}

}  // namespace talmeru::test
