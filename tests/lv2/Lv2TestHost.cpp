#include "tests/lv2/Lv2TestHost.h"

#include <lv2/presets/presets.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace valvora::test {

namespace {
constexpr int controlCount = 14;
constexpr uint32_t firstControlPort = 4;
}  // namespace

Lv2World::Lv2World(const char* bundleDir, const char* pluginUri)
{
    world_ = lilv_world_new();
    // Only our bundle: the machine's other plug-ins stay out of the test.
    std::string dir = bundleDir;
    if (dir.empty() || dir.back() != '/') dir += '/';
    LilvNode* bundle = lilv_new_file_uri(world_, nullptr, dir.c_str());
    lilv_world_load_specifications(world_);
    lilv_world_load_plugin_classes(world_);
    lilv_world_load_bundle(world_, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world_, pluginUri);
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
    lilv_node_free(uri);
    presetClass_ = lilv_new_uri(world_, LV2_PRESETS__Preset);
    labelPredicate_ = lilv_new_uri(world_, LILV_NS_RDFS "label");
    if (plugin_) presets_ = lilv_plugin_get_related(plugin_, presetClass_);
}

Lv2World::~Lv2World()
{
    lilv_nodes_free(presets_);
    lilv_node_free(labelPredicate_);
    lilv_node_free(presetClass_);
    lilv_world_free(world_);
}

std::vector<const LilvNode*> Lv2World::presets() const
{
    std::vector<const LilvNode*> out;
    if (!presets_) return out;
    LILV_FOREACH(nodes, i, presets_) out.push_back(lilv_nodes_get(presets_, i));
    auto number = [](const LilvNode* node) {
        const std::string uri = lilv_node_as_uri(node);
        return std::atoi(uri.substr(uri.rfind('/') + 1).c_str());
    };
    std::sort(out.begin(), out.end(),
              [&](const LilvNode* a, const LilvNode* b) { return number(a) < number(b); });
    return out;
}

std::string Lv2World::presetLabel(const LilvNode* preset) const
{
    lilv_world_load_resource(world_, preset);
    LilvNode* label = lilv_world_get(world_, preset, labelPredicate_, nullptr);
    std::string text = label ? lilv_node_as_string(label) : "";
    lilv_node_free(label);
    return text;
}

LV2_URID Lv2World::mapUri(LV2_URID_Map_Handle handle, const char* uri)
{
    auto& uris = static_cast<Lv2World*>(handle)->uris_;
    auto found = std::find(uris.begin(), uris.end(), uri);
    if (found != uris.end()) return static_cast<LV2_URID>(found - uris.begin() + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
}

const char* Lv2World::unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid)
{
    auto& uris = static_cast<Lv2World*>(handle)->uris_;
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr;
}

Lv2Instance::Lv2Instance(Lv2World& world, double sampleRate) : world_(world)
{
    if (!world.plugin()) return;
    instance_ = lilv_plugin_instantiate(world.plugin(), sampleRate, world.features());
    if (!instance_) return;
    // Ports start at their declared defaults, as a host shows them.
    float defaults[firstControlPort + controlCount];
    lilv_plugin_get_port_ranges_float(world.plugin(), nullptr, nullptr, defaults);
    for (int i = 0; i < controlCount; ++i) {
        controls_[i] = defaults[firstControlPort + i];
        lilv_instance_connect_port(instance_, firstControlPort + i, &controls_[i]);
    }
}

Lv2Instance::~Lv2Instance()
{
    if (!instance_) return;
    deactivate();
    lilv_instance_free(instance_);
}

bool Lv2Instance::applyPreset(const LilvNode* preset)
{
    lilv_world_load_resource(world_.world(), preset);
    LilvState* state = lilv_state_new_from_world(world_.world(), world_.map(), preset);
    if (!state) return false;
    lilv_state_restore(state, instance_, &Lv2Instance::setPortValue, this, 0, nullptr);
    lilv_state_free(state);
    return true;
}

void Lv2Instance::setPortValue(const char* symbol, void* userData, const void* value, uint32_t size, uint32_t)
{
    auto* self = static_cast<Lv2Instance*>(userData);
    LilvNode* name = lilv_new_string(self->world_.world(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(self->world_.plugin(), name);
    lilv_node_free(name);
    if (!port || size != sizeof(float)) return;
    const uint32_t index = lilv_port_get_index(self->world_.plugin(), port);
    if (index >= firstControlPort && index < firstControlPort + controlCount)
        std::memcpy(&self->controls_[index - firstControlPort], value, sizeof(float));
}

void Lv2Instance::activate()
{
    if (active_) return;
    lilv_instance_activate(instance_);
    active_ = true;
}

void Lv2Instance::deactivate()
{
    if (!active_) return;
    lilv_instance_deactivate(instance_);
    active_ = false;
}

void Lv2Instance::render(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                         int frames, int blockSize)
{
    activate();
    for (int start = 0; start < frames; start += blockSize) {
        const int n = std::min(blockSize, frames - start);
        // Hosts connect audio per block: the buffers move through the file.
        lilv_instance_connect_port(instance_, 0, const_cast<float*>(inLeft + start));
        lilv_instance_connect_port(instance_, 1, const_cast<float*>(inRight + start));
        lilv_instance_connect_port(instance_, 2, outLeft + start);
        lilv_instance_connect_port(instance_, 3, outRight + start);
        lilv_instance_run(instance_, static_cast<uint32_t>(n));
    }
}

}  // namespace valvora::test
