#pragma once
// A minimal LV2 host for tests, built on lilv: loads the built bundle (and
// nothing else), instantiates the plug-in, applies presets the way hosts do
// (lilv's state from the preset's Turtle) and runs 32-bit stereo blocks.

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <string>
#include <vector>

namespace valvora::test {

class Lv2World {
public:
    Lv2World(const char* bundleDir, const char* pluginUri);
    ~Lv2World();
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    LilvWorld* world() const { return world_; }
    const LilvPlugin* plugin() const { return plugin_; }
    // The presets that apply to the plug-in, in program order (the number that
    // ends each preset's URI).
    std::vector<const LilvNode*> presets() const;
    std::string presetLabel(const LilvNode* preset) const;
    LV2_URID_Map* map() { return &map_; }
    LV2_URID_Unmap* unmap() { return &unmap_; }
    const LV2_Feature* const* features() const { return features_; }

private:
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
    static const char* unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid);

    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugin_ = nullptr;
    LilvNode* presetClass_ = nullptr;
    LilvNode* labelPredicate_ = nullptr;
    LilvNodes* presets_ = nullptr;
    std::vector<std::string> uris_;
    LV2_URID_Map map_{this, &Lv2World::mapUri};
    LV2_URID_Unmap unmap_{this, &Lv2World::unmapUri};
    LV2_Feature mapFeature_{LV2_URID__map, &map_};
    LV2_Feature unmapFeature_{LV2_URID__unmap, &unmap_};
    const LV2_Feature* features_[3] = {&mapFeature_, &unmapFeature_, nullptr};
};

class Lv2Instance {
public:
    Lv2Instance(Lv2World& world, double sampleRate);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool ok() const { return instance_ != nullptr; }
    // Writes the preset's port values into the control ports, as a host
    // restoring the preset does. False if lilv could not load it.
    bool applyPreset(const LilvNode* preset);
    void setControl(int parameter, float value) { controls_[parameter] = value; }
    float control(int parameter) const { return controls_[parameter]; }
    void activate();
    void deactivate();
    // Processes frames samples of both channels in blocks of blockSize.
    void render(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int frames,
                int blockSize);

private:
    static void setPortValue(const char* symbol, void* userData, const void* value, uint32_t size,
                             uint32_t type);

    Lv2World& world_;
    LilvInstance* instance_ = nullptr;
    bool active_ = false;
    float controls_[14] = {};
};

}  // namespace valvora::test
