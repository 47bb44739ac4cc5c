// A minimal offline LV2 host, only for the end-to-end comparison: renders a
// sound file through one plug-in in 512-frame blocks and reports the
// real-time factor the same way valvora-render does (audio time / CPU time
// of all threads of the process, over the read-process-write loop).
// Offers urid:map/unmap and a synchronous worker, which guitarix's amps
// require (generic offline hosts without them crash in these plug-ins).
//   lv2_render PLUGIN_URI BUNDLE_DIR INPUT OUTPUT
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <sndfile.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kBlock = 512;
constexpr std::size_t kAtomCapacity = 8192;

std::map<std::string, LV2_URID> uridTable;
std::vector<std::string> uridNames;

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri)
{
    auto [it, added] = uridTable.emplace(uri, static_cast<LV2_URID>(uridNames.size() + 1));
    if (added) uridNames.push_back(uri);
    return it->second;
}

const char* unmapUri(LV2_URID_Unmap_Handle, LV2_URID urid)
{
    return urid >= 1 && urid <= uridNames.size() ? uridNames[urid - 1].c_str() : nullptr;
}

struct Worker {
    const LV2_Worker_Interface* iface = nullptr;
    LV2_Handle handle = nullptr;
    std::vector<std::vector<char>> responses;
};

LV2_Worker_Status respond(LV2_Worker_Respond_Handle h, uint32_t size, const void* data)
{
    auto* worker = static_cast<Worker*>(h);
    worker->responses.emplace_back(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    return LV2_WORKER_SUCCESS;
}

// Offline, the "background" work can run at once; its responses are handed
// back after the current run() as the worker extension prescribes.
LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle h, uint32_t size, const void* data)
{
    auto* worker = static_cast<Worker*>(h);
    if (!worker->iface) return LV2_WORKER_ERR_UNKNOWN;
    return worker->iface->work(worker->handle, respond, worker, size, data);
}

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: lv2_render PLUGIN_URI BUNDLE_DIR INPUT OUTPUT\n");
        return 2;
    }
    LilvWorld* world = lilv_world_new();
    std::string bundle = std::string("file://") + argv[2] + "/";
    LilvNode* bundleNode = lilv_new_uri(world, bundle.c_str());
    lilv_world_load_bundle(world, bundleNode);
    LilvNode* uri = lilv_new_uri(world, argv[1]);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    if (!plugin) {
        std::fprintf(stderr, "lv2_render: no plug-in %s in %s\n", argv[1], argv[2]);
        return 1;
    }

    SF_INFO inInfo{};
    SNDFILE* in = sf_open(argv[3], SFM_READ, &inInfo);
    if (!in) {
        std::fprintf(stderr, "lv2_render: cannot read %s\n", argv[3]);
        return 1;
    }

    LV2_URID_Map map{nullptr, mapUri};
    LV2_URID_Unmap unmap{nullptr, unmapUri};
    Worker worker;
    LV2_Worker_Schedule schedule{&worker, scheduleWork};
    LV2_Feature mapFeature{LV2_URID__map, &map}, unmapFeature{LV2_URID__unmap, &unmap};
    LV2_Feature scheduleFeature{LV2_WORKER__schedule, &schedule};
    // Block-size options: guitarix reads the largest block here and refuses to start without them.
    const int32_t block = kBlock;
    const float rate = static_cast<float>(inInfo.samplerate);
    const LV2_URID intType = mapUri(nullptr, LV2_ATOM__Int), floatType = mapUri(nullptr, LV2_ATOM__Float);
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, mapUri(nullptr, LV2_BUF_SIZE__maxBlockLength), sizeof(block), intType, &block},
        {LV2_OPTIONS_INSTANCE, 0, mapUri(nullptr, LV2_BUF_SIZE__minBlockLength), sizeof(block), intType, &block},
        {LV2_OPTIONS_INSTANCE, 0, mapUri(nullptr, LV2_BUF_SIZE__nominalBlockLength), sizeof(block), intType, &block},
        {LV2_OPTIONS_INSTANCE, 0, mapUri(nullptr, LV2_PARAMETERS__sampleRate), sizeof(rate), floatType, &rate},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
    const LV2_Feature* features[] = {&mapFeature, &unmapFeature, &scheduleFeature, &optionsFeature, &boundedFeature,
                                     nullptr};
    LilvInstance* instance = lilv_plugin_instantiate(plugin, inInfo.samplerate, features);
    if (!instance) {
        std::fprintf(stderr, "lv2_render: instantiation failed\n");
        return 1;
    }
    worker.handle = lilv_instance_get_handle(instance);
    worker.iface = static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance, LV2_WORKER__interface));

    LilvNode* audioClass = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
    LilvNode* atomClass = lilv_new_uri(world, LV2_ATOM__AtomPort);
    LilvNode* inputClass = lilv_new_uri(world, LILV_URI_INPUT_PORT);
    const uint32_t ports = lilv_plugin_get_num_ports(plugin);
    std::vector<float> controls(ports, 0.0f);
    std::vector<std::vector<float>> audioIn, audioOut;
    std::vector<std::vector<uint64_t>> atoms;  // 8-byte aligned atom buffers
    std::vector<LV2_Atom_Sequence*> atomInputs, atomOutputs;
    audioIn.reserve(ports);
    audioOut.reserve(ports);
    atoms.reserve(ports);
    const LV2_URID sequenceType = mapUri(nullptr, LV2_ATOM__Sequence);
    const LV2_URID chunkType = mapUri(nullptr, LV2_ATOM__Chunk);
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const bool input = lilv_port_is_a(plugin, port, inputClass);
        if (lilv_port_is_a(plugin, port, audioClass)) {
            auto& buffers = input ? audioIn : audioOut;
            buffers.emplace_back(kBlock, 0.0f);
            lilv_instance_connect_port(instance, i, buffers.back().data());
        } else if (lilv_port_is_a(plugin, port, atomClass)) {
            atoms.emplace_back(kAtomCapacity / 8, 0);
            auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atoms.back().data());
            (input ? atomInputs : atomOutputs).push_back(sequence);
            lilv_instance_connect_port(instance, i, sequence);
        } else {
            LilvNode* def = nullptr;
            lilv_port_get_range(plugin, port, &def, nullptr, nullptr);
            if (def) controls[i] = lilv_node_as_float(def);
            lilv_node_free(def);
            lilv_instance_connect_port(instance, i, &controls[i]);
        }
    }

    const int channels = static_cast<int>(audioIn.size());
    if (channels < 1 || inInfo.channels != channels) {
        std::fprintf(stderr, "lv2_render: the plug-in has %d audio inputs, the file %d channels\n", channels,
                     inInfo.channels);
        return 1;
    }
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = static_cast<int>(audioOut.size());
    outInfo.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(argv[4], SFM_WRITE, &outInfo);
    if (!out) {
        std::fprintf(stderr, "lv2_render: cannot write %s\n", argv[4]);
        return 1;
    }

    lilv_instance_activate(instance);
    std::vector<float> interleavedIn(static_cast<std::size_t>(kBlock * channels));
    std::vector<float> interleavedOut(static_cast<std::size_t>(kBlock) * audioOut.size());
    long long frames = 0;
    const double start = cpuSeconds();
    for (sf_count_t n; (n = sf_readf_float(in, interleavedIn.data(), kBlock)) > 0;) {
        for (sf_count_t i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) audioIn[c][i] = interleavedIn[i * channels + c];
        for (auto* s : atomInputs) {
            s->atom.size = sizeof(LV2_Atom_Sequence_Body);
            s->atom.type = sequenceType;
            s->body = {0, 0};
        }
        for (auto* s : atomOutputs) {
            s->atom.size = kAtomCapacity - sizeof(LV2_Atom);
            s->atom.type = chunkType;
        }
        lilv_instance_run(instance, static_cast<uint32_t>(n));
        if (worker.iface && worker.iface->work_response)
            for (auto& r : worker.responses)
                worker.iface->work_response(worker.handle, static_cast<uint32_t>(r.size()), r.data());
        worker.responses.clear();
        if (worker.iface && worker.iface->end_run) worker.iface->end_run(worker.handle);
        for (sf_count_t i = 0; i < n; ++i)
            for (std::size_t c = 0; c < audioOut.size(); ++c) interleavedOut[i * audioOut.size() + c] = audioOut[c][i];
        sf_writef_float(out, interleavedOut.data(), n);
        frames += n;
    }
    const double cpu = cpuSeconds() - start;
    sf_close(out);
    sf_close(in);
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    const double seconds = static_cast<double>(frames) / inInfo.samplerate;
    std::printf("%s: %.2f s in %.3f s CPU (%.1fx real time)\n", argv[1], seconds, cpu, seconds / cpu);
    lilv_world_free(world);
    return 0;
}
