// The demo: the built-in DI performance through every program into one
// folder, a summary table, and one picture drawn by plot_programs.py.

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/render/AudioFile.h"
#include "tools/render/BlockRenderer.h"
#include "tools/render/Commands.h"
#include "tools/render/DemoAnalysis.h"
#include "tools/render/DemoPerformance.h"
#include "tools/render/HostSetup.h"
#include "tools/render/ParameterBinding.h"
#include "tools/render/RenderError.h"
#include "tools/render/SignalStats.h"

extern char** environ;

namespace valvora::render {

namespace {

constexpr int kDemoRate = 48000;
constexpr double kChordOffset = 0.2, kChordSeconds = 0.05;  // once the strum has settled into a tone
const char* const kPython = "/usr/bin/python3";             // Debian's, which has matplotlib

std::string fileNameFor(int index, const std::string& programName)
{
    std::string name;
    for (char c : programName) name += (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32) ? '-' : c;
    if (name.empty()) name = "Program";
    char prefix[16];
    std::snprintf(prefix, sizeof(prefix), "%02d ", index);
    return prefix + name + ".wav";
}

std::vector<double> chordWindow(const std::vector<double>& signal)
{
    const auto length = static_cast<std::size_t>(kChordSeconds * kDemoRate);
    auto start = static_cast<std::size_t>((DemoPerformance::kShowcaseChordTime + kChordOffset) * kDemoRate);
    start = std::min(start, signal.size() > length ? signal.size() - length : 0);
    const std::size_t end = std::min(signal.size(), start + length);
    return {signal.begin() + static_cast<std::ptrdiff_t>(start), signal.begin() + static_cast<std::ptrdiff_t>(end)};
}

void makeFolder(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error || !std::filesystem::is_directory(path))
        throw RenderError(kExitOutput, "cannot create output folder " + path);
}

void drawPicture(const std::string& dataFolder, const std::string& picture)
{
    std::string script = executableFolder() + "plot_programs.py";
    if (access(script.c_str(), R_OK) != 0) script = VALVORA_RENDER_SOURCE_DIR "/plot_programs.py";
    std::vector<std::string> args = {kPython, script, dataFolder, picture};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    if (posix_spawn(&child, kPython, nullptr, nullptr, argv.data(), environ) != 0 ||
        waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw RenderError(kExitOutput, "could not draw " + picture + " (needs /usr/bin/python3 with matplotlib)");
}

struct Row {
    std::string name;
    LevelMeter level;
    ProgramProbe probe;
};

void printRow(int index, const Row& row, const LevelMeter& dry)
{
    const auto& ir = row.probe.impulseResponse;
    std::printf("%2d  %-16s %6s %6s %+6.1f  %6s %6s %6s  %6s%s\n", index, row.name.c_str(),
                formatDb(row.level.peakDb()).c_str(), formatDb(row.level.rmsDb()).c_str(),
                row.level.rmsDb() - dry.rmsDb(), formatDb(responseDb(ir, 100.0, kDemoRate)).c_str(),
                formatDb(responseDb(ir, 1000.0, kDemoRate)).c_str(),
                formatDb(responseDb(ir, 5000.0, kDemoRate)).c_str(), formatDb(row.probe.harmonicsDb).c_str(),
                row.level.nonFinite() > 0 ? "  NON-FINITE SAMPLES" : (row.level.clips() ? "  CLIPS" : ""));
}

}  // namespace

int runDemo(const RenderOptions& options)
{
    const auto started = std::chrono::steady_clock::now();
    const std::string folder = options.demoDir;
    const std::string module = modulePath(options);
    // The module first: one that does not load must not leave files behind.
    PluginHost keeper;  // keeps the module loaded between the per-program instances
    loadEffect(keeper, module);
    const auto names = keeper.programNames();
    for (const auto& assignment : options.settings) resolveSetting(keeper, assignment);  // fail before any file
    makeFolder(folder);

    const std::vector<double> dry = DemoPerformance::synthesize(kDemoRate, options.demoSeconds);
    writeAudioFile(folder + "/dry.wav", kDemoRate, {dry}, "24");
    LevelMeter dryLevel;
    dryLevel.add(dry.data(), dry.size());

    char pattern[] = "/tmp/valvora-demo-XXXXXX";
    if (!mkdtemp(pattern)) throw RenderError(kExitOutput, "cannot create a temporary folder");
    const std::string data = pattern;
    struct Cleanup {
        std::string path;
        ~Cleanup() { std::filesystem::remove_all(path); }
    } cleanup{data};
    writeRawFloats(data + "/dry_chord.f32", chordWindow(dry));
    std::ofstream manifest(data + "/programs.tsv");

    std::printf("%s: the built-in DI performance (%.1f s, 48 kHz) through %zu programs into %s/\n",
                keeper.effectName().c_str(), static_cast<double>(dry.size()) / kDemoRate, names.size(),
                folder.c_str());
    std::printf("                       out dBFS   level   response dB at         harmonics\n"
                " #  program            peak    RMS  re dry   100 Hz  1 kHz  5 kHz   dB re f0\n");
    std::printf("    (dry input)      %6s %6s          0.0    0.0    0.0  %6s\n", formatDb(dryLevel.peakDb()).c_str(),
                formatDb(dryLevel.rmsDb()).c_str(), "-");
    for (int p = 0; p < static_cast<int>(names.size()); ++p) {
        if (interruptRequested()) throw RenderError(kExitInterrupted, "interrupted");
        Row row{names[static_cast<std::size_t>(p)], {}, {}};
        PluginHost host;
        prepareProgram(host, module, options, p);
        const auto out = renderInMemory(host, {kDemoRate, options.blockSize, options.doublePrecision}, {dry});
        writeAudioFile(folder + "/" + fileNameFor(p, row.name), kDemoRate, out, "24");
        for (const auto& plane : out) row.level.add(plane.data(), plane.size());
        row.probe = probeProgram(module, options, p, kDemoRate);
        printRow(p, row, dryLevel);

        const std::string stem = data + "/" + std::to_string(p);
        writeRawFloats(stem + "_ir.f32", row.probe.impulseResponse);
        writeRawFloats(stem + "_chord.f32", chordWindow(out[0]));
        manifest << p << '\t' << row.name << '\t' << row.probe.harmonicsDb << '\n';
    }
    manifest.close();
    drawPicture(data, folder + "/programs.png");
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("wrote %zu program files, dry.wav and programs.png to %s/ in %.1f s\n", names.size(),
                folder.c_str(), elapsed);
    return kExitOk;
}

}  // namespace valvora::render
