#include "tests/tools/RenderToolRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/render/DemoPerformance.h"

extern char** environ;

namespace valvora::test {

namespace {
std::string slurp(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
}  // namespace

ScratchFolder::ScratchFolder()
{
    char pattern[] = "/tmp/valvora-render-test-XXXXXX";
    root_ = mkdtemp(pattern) ? pattern : "";
}

ScratchFolder::~ScratchFolder() { std::filesystem::remove_all(root_); }

std::vector<std::string> ScratchFolder::files() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

ToolRun runTool(const std::vector<std::string>& args)
{
    ScratchFolder capture;
    const std::string outPath = capture.path("stdout"), errPath = capture.path("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    std::vector<std::string> all = {VALVORA_RENDER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    ToolRun run;
    pid_t child = 0;
    int status = 0;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
        waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    posix_spawn_file_actions_destroy(&actions);
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
}

AudioData readAudio(const std::string& path)
{
    AudioData data;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!file) return data;
    data.sampleRate = info.samplerate;
    data.channels = info.channels;
    data.subtype = info.format & SF_FORMAT_SUBMASK;
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    data.planes.assign(static_cast<std::size_t>(info.channels), std::vector<float>(static_cast<std::size_t>(info.frames)));
    for (sf_count_t i = 0; i < info.frames; ++i)
        for (int c = 0; c < info.channels; ++c)
            data.planes[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] =
                interleaved[static_cast<std::size_t>(i * info.channels + c)];
    return data;
}

void writeTestInput(const std::string& path, int sampleRate, int channels, int format, double seconds)
{
    const auto mono = render::DemoPerformance::synthesize(sampleRate, seconds);
    std::vector<double> interleaved;
    for (double x : mono)
        for (int c = 0; c < channels; ++c) interleaved.push_back(c == 0 ? x : -0.5 * x);
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    sf_writef_double(file, interleaved.data(), static_cast<sf_count_t>(mono.size()));
    sf_close(file);
}

}  // namespace valvora::test
