// Many instances paced like a DAW's audio callback: one real-time thread
// wakes every 64 frames at 48 kHz (1.333 ms), processes every instance once
// and sleeps until the next deadline. Reported per set of instances: the
// thread's median, 99.9th percentile and longest cycle against the budget,
// the cycles over budget, and the CPU of all threads of the process (our
// workers included) with its user/system split and context switches. The
// sets run in turns within one process (rounds), so that the ratios between
// them share the machine's mood:
//   mix    8 instances of the Default program + 8 of the worst case
//          (drive channel, tube mode, 8x, reverb 1, cabinet, true stereo)
//   gx     8 instances of guitarix's gx_amp_stereo through lilv
//   idle   8 Default instances and 8 gx instances, each playing the DI and
//          then fed digital silence (the tails decay into it)
// A benchmark, not a test: nothing here asserts a time.
//   PacedInstances [--plugin SO] [--compare SO] [--seconds S] [--idle-seconds S]
//                  [--rounds N] [--instances N] [--fifo PRIORITY] [--no-gx] [--no-idle]
//                  [--smoke]
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Lv2Instance.h"
#include "tools/render/DemoPerformance.h"
#include "tools/render/ParameterBinding.h"
#include "tools/render/PluginHost.h"

namespace {

using valvora::render::PluginHost;

constexpr double kRate = 48000.0;
constexpr int kBlock = 64;
constexpr double kBudgetMicros = 1e6 * kBlock / kRate;
constexpr const char* kGxUri = "http://guitarix.sourceforge.net/plugins/gx_amp_stereo#GUITARIX_ST";
constexpr const char* kGxBundle = "/usr/lib/lv2/gx_amp_stereo.lv2";

double seconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double tv(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
}

// Steal time of the whole machine (all vCPUs), from /proc/stat: time the
// hypervisor ran something else while a vCPU wanted to run.
double stealSeconds()
{
    std::ifstream stat("/proc/stat");
    std::string cpu;
    long long v[8] = {};
    stat >> cpu >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5] >> v[6] >> v[7];
    return static_cast<double>(v[7]) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// What one set costs over all its turns.
struct Tally {
    std::vector<float> cycles;  // microseconds, one per host cycle
    double wall = 0.0, processCpu = 0.0, threadCpu = 0.0, user = 0.0, system = 0.0, steal = 0.0;
    long long voluntary = 0, involuntary = 0;
};

// A set of instances the paced thread processes in each cycle.
struct Set {
    std::string name;
    std::function<void(const float* const* input)> cycle;  // one 64-frame block of every instance
    bool silent = false;                                   // fed zeros instead of the DI
    Tally tally;
    long long position = 0;  // where in the DI the next block starts
};

class Pacer {
public:
    explicit Pacer(const std::vector<float>& di)
        : di_(di), zeros_(kBlock, 0.0f), left_(kBlock), right_(kBlock)
    {
    }

    // Runs `set` for `blocks` cycles, paced; with `measured` false the cycles
    // only warm the instances up.
    void run(Set& set, long long blocks, bool measured)
    {
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const double steal0 = stealSeconds();
        const double wall0 = seconds(CLOCK_MONOTONIC), cpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
        const double thread0 = seconds(CLOCK_THREAD_CPUTIME_ID);
        if (measured) set.tally.cycles.reserve(set.tally.cycles.size() + static_cast<std::size_t>(blocks));
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        for (long long b = 0; b < blocks; ++b) {
            const float* input[2] = {zeros_.data(), zeros_.data()};
            if (!set.silent) {
                const std::size_t n = di_.size();
                for (int i = 0; i < kBlock; ++i)
                    left_[static_cast<std::size_t>(i)] = di_[static_cast<std::size_t>(set.position + i) % n];
                std::copy(left_.begin(), left_.end(), right_.begin());
                input[0] = left_.data();
                input[1] = right_.data();
            }
            set.position += kBlock;
            const double t0 = seconds(CLOCK_MONOTONIC);
            set.cycle(input);
            const double t1 = seconds(CLOCK_MONOTONIC);
            if (measured) set.tally.cycles.push_back(static_cast<float>(1e6 * (t1 - t0)));
            advance(deadline);
            // A cycle that overran its period starts the next one at once, as
            // a host's callback would after an underrun, without a backlog.
            if (t1 < toSeconds(deadline))
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
            else
                clock_gettime(CLOCK_MONOTONIC, &deadline);
        }
        if (!measured) return;
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        Tally& t = set.tally;
        t.wall += seconds(CLOCK_MONOTONIC) - wall0;
        t.processCpu += seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        t.threadCpu += seconds(CLOCK_THREAD_CPUTIME_ID) - thread0;
        t.user += tv(after.ru_utime) - tv(before.ru_utime);
        t.system += tv(after.ru_stime) - tv(before.ru_stime);
        t.voluntary += after.ru_nvcsw - before.ru_nvcsw;
        t.involuntary += after.ru_nivcsw - before.ru_nivcsw;
        t.steal += stealSeconds() - steal0;
    }

private:
    static double toSeconds(const timespec& t)
    {
        return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
    }
    static void advance(timespec& t)
    {
        // 64 / 48000 s = 1,333,333.33 ns; the remainder is carried so the period stays exact.
        static long long carry = 0;
        carry += 1000000000LL * kBlock;
        const long long step = carry / static_cast<long long>(kRate);
        carry -= step * static_cast<long long>(kRate);
        t.tv_nsec += step;
        while (t.tv_nsec >= 1000000000L) {
            t.tv_nsec -= 1000000000L;
            ++t.tv_sec;
        }
    }

    const std::vector<float>& di_;
    std::vector<float> zeros_, left_, right_;
};

// Instances of our module, each with stereo output buffers of its own.
class VstInstances {
public:
    void add(const std::string& module, const std::vector<std::string>& settings, int program)
    {
        auto host = std::make_unique<PluginHost>();
        if (!host->load(module)) throw std::runtime_error(host->error());
        host->setProgram(program);
        for (const auto& s : settings) {
            const auto v = valvora::render::resolveSetting(*host, s);
            host->setParameter(v.index, v.value);
        }
        host->start(kRate, kBlock, false);
        hosts_.push_back(std::move(host));
        outputs_.emplace_back(2 * kBlock, 0.0f);
    }
    void cycle(const float* const* input)
    {
        for (std::size_t i = 0; i < hosts_.size(); ++i) {
            float* in[2] = {const_cast<float*>(input[0]), const_cast<float*>(input[1])};
            float* out[2] = {outputs_[i].data(), outputs_[i].data() + kBlock};
            hosts_[i]->process(in, out, kBlock);
        }
    }
    bool finite() const
    {
        for (const auto& o : outputs_)
            for (float x : o)
                if (!std::isfinite(x)) return false;
        return true;
    }

private:
    std::vector<std::unique_ptr<PluginHost>> hosts_;
    std::vector<std::vector<float>> outputs_;
};

class GxInstances {
public:
    GxInstances(const lv2bench::Lv2World& world, int count)
    {
        for (int i = 0; i < count; ++i)
            instances_.push_back(std::make_unique<lv2bench::Lv2Instance>(world, kRate, kBlock));
    }
    void cycle(const float* const* input)
    {
        for (auto& p : instances_) {
            for (int c = 0; c < p->audioInputs() && c < 2; ++c)
                std::copy(input[c], input[c] + kBlock, p->input(c));
            p->run(kBlock);
        }
    }

private:
    std::vector<std::unique_ptr<lv2bench::Lv2Instance>> instances_;
};

struct Options {
    std::string plugin = VALVORA_DEFAULT_MODULE;
    std::string compare;
    double seconds = 30.0, idleSeconds = 60.0;
    int rounds = 3, instances = 8, fifo = 10;
    bool gx = true, idle = true, smoke = false;
};

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--plugin")
            o.plugin = value();
        else if (a == "--compare")
            o.compare = value();
        else if (a == "--seconds")
            o.seconds = std::atof(value().c_str());
        else if (a == "--idle-seconds")
            o.idleSeconds = std::atof(value().c_str());
        else if (a == "--rounds")
            o.rounds = std::max(1, std::atoi(value().c_str()));
        else if (a == "--instances")
            o.instances = std::max(1, std::atoi(value().c_str()));
        else if (a == "--fifo")
            o.fifo = std::atoi(value().c_str());
        else if (a == "--no-gx")
            o.gx = false;
        else if (a == "--no-idle")
            o.idle = false;
        else if (a == "--smoke")
            o.smoke = true;
        else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            std::exit(2);
        }
    }
    if (o.smoke) {
        // One short turn of everything: that it runs, not how fast.
        o.seconds = 0.2;
        o.idleSeconds = 0.2;
        o.rounds = 1;
        o.instances = 2;
    }
    return o;
}

double percentile(std::vector<float> v, double q)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(std::ceil(q * static_cast<double>(v.size()))) - 1;
    return v[std::min(at, v.size() - 1)];
}

void report(const Set& s)
{
    const Tally& t = s.tally;
    const long long over =
        std::count_if(t.cycles.begin(), t.cycles.end(), [](float c) { return c > kBudgetMicros; });
    const double audio = static_cast<double>(t.cycles.size()) * kBlock / kRate;
    std::printf("  %-34s %7.1f %7.1f %8.1f %6lld/%-7zu %6.1f%% %6.1f%% %5.1f%% %5.1f%% %7.0f %6.0f %6.3f\n",
                s.name.c_str(), percentile(t.cycles, 0.5), percentile(t.cycles, 0.999),
                t.cycles.empty() ? 0.0 : *std::max_element(t.cycles.begin(), t.cycles.end()), over,
                t.cycles.size(), 100.0 * t.threadCpu / t.wall, 100.0 * t.processCpu / t.wall,
                100.0 * t.user / t.wall, 100.0 * t.system / t.wall, static_cast<double>(t.voluntary) / audio,
                static_cast<double>(t.involuntary) / audio, t.steal);
}

void header(const char* title)
{
    std::printf("\n%s\n", title);
    std::printf("  %-34s %7s %7s %8s %14s %7s %7s %6s %6s %7s %6s %6s\n", "set", "median", "p99.9", "max",
                "over budget", "audio", "all", "user", "sys", "vol/s", "inv/s", "steal");
}

}  // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    // The host's audio thread: real-time, as DAWs run it. Our workers take
    // this scheduling over from it (the module notes it on its first block).
    bool realtime = false;
    if (o.fifo > 0) {
        sched_param p{};
        p.sched_priority = o.fifo;
        realtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0;
    }
    const auto di64 = valvora::render::DemoPerformance::synthesize(kRate);
    const std::vector<float> di(di64.begin(), di64.end());
    Pacer pacer(di);

    try {
        const std::vector<std::string> worst = {"Channel=1", "TubeMode=1",   "Oversample=1",
                                                "Reverb=1",  "SpeakerSim=1", "Channels=2"};
        std::vector<std::shared_ptr<VstInstances>> mixed;
        const auto mixOf = [&](const std::string& module, const std::string& label) {
            auto v = std::make_shared<VstInstances>();
            for (int i = 0; i < o.instances; ++i) v->add(module, {}, 0);
            for (int i = 0; i < o.instances; ++i) v->add(module, worst, 0);
            mixed.push_back(v);
            return Set{label + ": " + std::to_string(o.instances) + " Default + " +
                           std::to_string(o.instances) + " worst",
                       [v](const float* const* in) { v->cycle(in); }};
        };
        std::unique_ptr<lv2bench::Lv2World> gxWorld;
        if (o.gx) gxWorld = std::make_unique<lv2bench::Lv2World>(kGxBundle, kGxUri);

        std::vector<Set> mix;
        mix.push_back(mixOf(o.plugin, "ours"));
        if (!o.compare.empty()) mix.push_back(mixOf(o.compare, "compared"));
        if (o.gx) {
            auto g = std::make_shared<GxInstances>(*gxWorld, o.instances);
            mix.push_back(Set{"gx_amp_stereo x" + std::to_string(o.instances),
                              [g](const float* const* in) { g->cycle(in); }});
        }

        std::vector<Set> idle;
        std::vector<std::shared_ptr<VstInstances>> ours;  // checked for finite output at the end
        // Playing and then silence on the same instances, so that the silence
        // follows real tails (and would show a denormal slowdown).
        const auto playingThenSilence = [&](const std::string& label,
                                            std::function<void(const float* const*)> c) {
            idle.push_back(Set{label + ", playing", c});
            idle.push_back(Set{label + ", silence", c});
            idle.back().silent = true;
        };
        if (o.idle) {
            const std::string n = " x" + std::to_string(o.instances);
            const auto defaults = [&](const std::string& module, const std::string& label) {
                auto v = std::make_shared<VstInstances>();
                for (int i = 0; i < o.instances; ++i) v->add(module, {}, 0);
                ours.push_back(v);
                playingThenSilence(label + " Default" + n, [v](const float* const* in) { v->cycle(in); });
            };
            defaults(o.plugin, "ours");
            if (!o.compare.empty()) defaults(o.compare, "compared");
            if (o.gx) {
                auto g = std::make_shared<GxInstances>(*gxWorld, o.instances);
                playingThenSilence("gx_amp_stereo" + n, [g](const float* const* in) { g->cycle(in); });
            }
        }

        const auto blocksOf = [](double s) { return std::max(1LL, std::llround(s * kRate / kBlock)); };
        const long long warmUp = blocksOf(o.smoke ? 0.05 : 1.0);
        for (auto* sets : {&mix, &idle})
            for (auto& s : *sets) pacer.run(s, warmUp, false);
        for (int r = 0; r < o.rounds; ++r) {
            for (auto& s : mix) pacer.run(s, blocksOf(o.seconds / o.rounds), true);
            for (auto& s : idle) pacer.run(s, blocksOf(o.idleSeconds / o.rounds), true);
        }

        std::printf(
            "%d-frame cycles at %.0f Hz paced on one %s thread (budget %.1f us), %d rounds in turns;\n"
            "cycle times in us; audio = the paced thread's CPU, all = every thread of the process,\n"
            "user/sys = getrusage's split of it, each as %% of one core; vol/inv = voluntary and "
            "involuntary\n"
            "context switches per second of audio; steal = the machine's steal time in s over the set\n",
            kBlock, kRate, realtime ? "SCHED_FIFO" : "normal (not real-time)", kBudgetMicros, o.rounds);
        header("several instances at once");
        for (const auto& s : mix) report(s);
        if (o.idle) {
            header("playing, then digital silence into the same instances");
            for (const auto& s : idle) report(s);
        }
        for (const auto* group : {&mixed, &ours})
            for (const auto& v : *group)
                if (!v->finite()) throw std::runtime_error("an instance's output is not finite");
        std::printf("\nratios, all threads' CPU:\n");
        const auto cpu = [](const Set& s) { return s.tally.processCpu / s.tally.wall; };
        for (std::size_t i = 1; i < mix.size(); ++i)
            std::printf("  %s / %s: %.2f\n", mix[0].name.c_str(), mix[i].name.c_str(),
                        cpu(mix[0]) / cpu(mix[i]));
        for (std::size_t i = 0; i + 1 < idle.size(); i += 2)
            std::printf("  %s / playing: %.2f\n", idle[i + 1].name.c_str(), cpu(idle[i + 1]) / cpu(idle[i]));
        if (o.idle && o.gx && idle.size() >= 4) {
            const Set& gxSilence = idle.back();
            std::printf("  ours silence / gx silence: %.2f\n", cpu(idle[1]) / cpu(gxSilence));
            std::printf("  ours playing / gx playing: %.2f\n", cpu(idle[0]) / cpu(idle[idle.size() - 2]));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "PacedInstances: %s\n", e.what());
        return 1;
    }
    return 0;
}
