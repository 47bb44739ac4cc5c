#pragma once
// One LV2 plug-in instance hosted through lilv the way the benchmarks need
// it: urid:map/unmap, block-size options and a synchronous worker, which
// guitarix's amps require (generic offline hosts without them crash in these
// plug-ins). Header-only, so that compare_guitarix.py can build lv2_render.cpp
// on its own with one compiler call. One thread per instance; the URID table
// is filled while instances are made, on the thread that makes them.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace lv2bench {

struct UridTable {
    std::map<std::string, LV2_URID> ids;
    std::vector<std::string> names;

    static UridTable& shared()
    {
        static UridTable table;
        return table;
    }
    static LV2_URID map(LV2_URID_Map_Handle, const char* uri)
    {
        UridTable& t = shared();
        auto [it, added] = t.ids.emplace(uri, static_cast<LV2_URID>(t.names.size() + 1));
        if (added) t.names.push_back(uri);
        return it->second;
    }
    static const char* unmap(LV2_URID_Unmap_Handle, LV2_URID urid)
    {
        const UridTable& t = shared();
        return urid >= 1 && urid <= t.names.size() ? t.names[urid - 1].c_str() : nullptr;
    }
};

// The plug-ins of one bundle, loaded once and shared by its instances.
class Lv2World {
public:
    Lv2World(const std::string& bundleDir, const std::string& pluginUri) : world_(lilv_world_new())
    {
        const std::string bundle = "file://" + bundleDir + "/";
        LilvNode* bundleNode = lilv_new_uri(world_, bundle.c_str());
        lilv_world_load_bundle(world_, bundleNode);
        lilv_node_free(bundleNode);
        LilvNode* uri = lilv_new_uri(world_, pluginUri.c_str());
        plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
        lilv_node_free(uri);
        if (!plugin_) {
            lilv_world_free(world_);
            throw std::runtime_error("no plug-in " + pluginUri + " in " + bundleDir);
        }
    }
    ~Lv2World() { lilv_world_free(world_); }
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    LilvWorld* world() const { return world_; }
    const LilvPlugin* plugin() const { return plugin_; }

private:
    LilvWorld* world_;
    const LilvPlugin* plugin_ = nullptr;
};

class Lv2Instance {
public:
    static constexpr std::size_t kAtomCapacity = 8192;

    // Instantiates, connects every port (controls at their defaults) and
    // activates. Throws std::runtime_error when the plug-in refuses.
    Lv2Instance(const Lv2World& world, double rate, int maxBlock)
        : plugin_(world.plugin()), rate_(static_cast<float>(rate)), block_(maxBlock)
    {
        schedule_ = {this, &Lv2Instance::scheduleWork};
        map_ = {nullptr, &UridTable::map};
        unmap_ = {nullptr, &UridTable::unmap};
        const LV2_URID intType = UridTable::map(nullptr, LV2_ATOM__Int);
        const LV2_URID floatType = UridTable::map(nullptr, LV2_ATOM__Float);
        // guitarix reads the largest block here and refuses to start without it.
        options_[0] = {LV2_OPTIONS_INSTANCE, 0,       UridTable::map(nullptr, LV2_BUF_SIZE__maxBlockLength),
                       sizeof(block_),       intType, &block_};
        options_[1] = {LV2_OPTIONS_INSTANCE, 0,       UridTable::map(nullptr, LV2_BUF_SIZE__minBlockLength),
                       sizeof(block_),       intType, &block_};
        options_[2] = {
            LV2_OPTIONS_INSTANCE, 0,       UridTable::map(nullptr, LV2_BUF_SIZE__nominalBlockLength),
            sizeof(block_),       intType, &block_};
        options_[3] = {LV2_OPTIONS_INSTANCE, 0,         UridTable::map(nullptr, LV2_PARAMETERS__sampleRate),
                       sizeof(rate_),        floatType, &rate_};
        options_[4] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        sequenceType_ = UridTable::map(nullptr, LV2_ATOM__Sequence);
        chunkType_ = UridTable::map(nullptr, LV2_ATOM__Chunk);
        features_[0] = {LV2_URID__map, &map_};
        features_[1] = {LV2_URID__unmap, &unmap_};
        features_[2] = {LV2_WORKER__schedule, &schedule_};
        features_[3] = {LV2_OPTIONS__options, options_};
        features_[4] = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
        const LV2_Feature* features[] = {&features_[0], &features_[1], &features_[2],
                                         &features_[3], &features_[4], nullptr};
        instance_ = lilv_plugin_instantiate(plugin_, rate, features);
        if (!instance_) throw std::runtime_error("instantiation failed");
        handle_ = lilv_instance_get_handle(instance_);
        worker_ = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
        connect(world.world());
        lilv_instance_activate(instance_);
    }

    ~Lv2Instance()
    {
        lilv_instance_deactivate(instance_);
        lilv_instance_free(instance_);
    }
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    int audioInputs() const { return static_cast<int>(audioIn_.size()); }
    int audioOutputs() const { return static_cast<int>(audioOut_.size()); }
    float* input(int channel) { return audioIn_[static_cast<std::size_t>(channel)].data(); }
    const float* output(int channel) const { return audioOut_[static_cast<std::size_t>(channel)].data(); }

    // One host cycle: fresh atom sequences, run, the worker's responses, end_run.
    void run(int frames)
    {
        for (auto* s : atomInputs_) {
            s->atom.size = sizeof(LV2_Atom_Sequence_Body);
            s->atom.type = sequenceType_;
            s->body = {0, 0};
        }
        for (auto* s : atomOutputs_) {
            s->atom.size = kAtomCapacity - sizeof(LV2_Atom);
            s->atom.type = chunkType_;
        }
        lilv_instance_run(instance_, static_cast<uint32_t>(frames));
        if (worker_ && worker_->work_response)
            for (auto& r : responses_)
                worker_->work_response(handle_, static_cast<uint32_t>(r.size()), r.data());
        responses_.clear();
        if (worker_ && worker_->end_run) worker_->end_run(handle_);
    }

private:
    void connect(LilvWorld* world)
    {
        LilvNode* audioClass = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
        LilvNode* atomClass = lilv_new_uri(world, LV2_ATOM__AtomPort);
        LilvNode* inputClass = lilv_new_uri(world, LILV_URI_INPUT_PORT);
        const uint32_t ports = lilv_plugin_get_num_ports(plugin_);
        controls_.assign(ports, 0.0f);
        // Reserved so that the buffers connected below never move.
        audioIn_.reserve(ports);
        audioOut_.reserve(ports);
        atoms_.reserve(ports);
        for (uint32_t i = 0; i < ports; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
            const bool input = lilv_port_is_a(plugin_, port, inputClass);
            if (lilv_port_is_a(plugin_, port, audioClass)) {
                auto& buffers = input ? audioIn_ : audioOut_;
                buffers.emplace_back(static_cast<std::size_t>(block_), 0.0f);
                lilv_instance_connect_port(instance_, i, buffers.back().data());
            } else if (lilv_port_is_a(plugin_, port, atomClass)) {
                atoms_.emplace_back(kAtomCapacity / 8, 0);  // 8-byte aligned atom buffers
                auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atoms_.back().data());
                (input ? atomInputs_ : atomOutputs_).push_back(sequence);
                lilv_instance_connect_port(instance_, i, sequence);
            } else {
                LilvNode* def = nullptr;
                lilv_port_get_range(plugin_, port, &def, nullptr, nullptr);
                if (def) controls_[i] = lilv_node_as_float(def);
                lilv_node_free(def);
                lilv_instance_connect_port(instance_, i, &controls_[i]);
            }
        }
        lilv_node_free(audioClass);
        lilv_node_free(atomClass);
        lilv_node_free(inputClass);
    }

    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle h, uint32_t size, const void* data)
    {
        auto* self = static_cast<Lv2Instance*>(h);
        self->responses_.emplace_back(static_cast<const char*>(data), static_cast<const char*>(data) + size);
        return LV2_WORKER_SUCCESS;
    }

    // The "background" work runs at once; its responses are handed back
    // after the current run() as the worker extension prescribes.
    static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle h, uint32_t size, const void* data)
    {
        auto* self = static_cast<Lv2Instance*>(h);
        if (!self->worker_) return LV2_WORKER_ERR_UNKNOWN;
        return self->worker_->work(self->handle_, &Lv2Instance::respond, self, size, data);
    }

    const LilvPlugin* plugin_;
    float rate_;
    int32_t block_;
    LV2_URID_Map map_{};
    LV2_URID_Unmap unmap_{};
    LV2_Worker_Schedule schedule_{};
    LV2_Options_Option options_[5]{};
    LV2_Feature features_[5]{};
    LV2_URID sequenceType_ = 0;
    LV2_URID chunkType_ = 0;
    LilvInstance* instance_ = nullptr;
    LV2_Handle handle_ = nullptr;
    const LV2_Worker_Interface* worker_ = nullptr;
    std::vector<std::vector<char>> responses_;
    std::vector<float> controls_;
    std::vector<std::vector<float>> audioIn_, audioOut_;
    std::vector<std::vector<uint64_t>> atoms_;
    std::vector<LV2_Atom_Sequence*> atomInputs_, atomOutputs_;
};

}  // namespace lv2bench
