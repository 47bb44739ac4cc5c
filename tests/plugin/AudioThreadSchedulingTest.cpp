// The workers the audio thread waits for run at least at its priority: with
// the audio thread at SCHED_FIFO, every worker the plug-in started (on the
// host's thread, as an ordinary thread) reports the same policy and priority
// once it has worked for it. Linux; needs the right to set SCHED_FIFO (root
// or CAP_SYS_NICE, or an RLIMIT_RTPRIO), and skips with a message without it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "plugin/AmpPlugin.h"

#ifndef _WIN32
#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#endif

namespace {

#ifndef _WIN32
VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::set<int> taskIds()
{
    std::set<int> ids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ids.insert(std::atoi(e->d_name));
        closedir(dir);
    }
    return ids;
}

struct TaskScheduling {
    int policy = -1;
    int priority = -1;
};

// Fields 40 (rt_priority) and 41 (policy) of /proc/self/task/TID/stat.
TaskScheduling schedulingOf(int tid)
{
    std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(f, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    TaskScheduling t;
    for (int index = 3; rest >> field; ++index) {
        if (index == 40) t.priority = std::stoi(field);
        if (index == 41) {
            t.policy = std::stoi(field);
            break;
        }
    }
    return t;
}
#endif

TEST(AudioThreadScheduling, WorkersFollowARealTimeAudioThread)
{
#ifdef _WIN32
    GTEST_SKIP() << "SCHED_FIFO is Linux's; on Windows the workers are time-critical and join the audio "
                    "thread's MMCSS task";
#else
    // ThreadSanitizer starts a background thread of its own with the
    // process's first thread: let that happen now, so it is not counted
    // among the plug-in's workers below.
    std::thread([] {}).join();
    const std::set<int> before = taskIds();
    valvora::AmpPlugin plugin(hostCallback);
    std::set<int> workers;
    for (int id : taskIds())
        if (!before.count(id)) workers.insert(id);
    ASSERT_GE(workers.size(), 18u) << "14 reverb and 4 cabinet workers";
    for (int id : workers) EXPECT_EQ(schedulingOf(id).policy, SCHED_OTHER) << "started as ordinary threads";

    const int priority = sched_get_priority_min(SCHED_FIFO) + 9;
    std::atomic<int> setResult{-1};
    std::thread audio([&] {
        sched_param param{};
        param.sched_priority = priority;
        setResult = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        if (setResult != 0) return;
        plugin.setParameter(valvora::paramSpeakerSim, 1.0f);
        plugin.setParameter(valvora::paramReverb, 0.8f);
        std::vector<float> in(256), out0(256), out1(256);
        float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {out0.data(), out1.data()};
        // Two seconds: every reverb level's worker is handed a block, and
        // both cabinets (each with its own workers) play.
        for (int block = 0; block < 350; ++block) {
            for (int i = 0; i < 256; ++i) in[i] = 0.3f * std::sin(0.01f * static_cast<float>(block * 256 + i));
            if (block == 175) plugin.setParameter(valvora::paramSpeakerMode, 1.0f);
            plugin.processReplacing(ins, outs, 256);
        }
    });
    audio.join();
    if (setResult != 0)
        GTEST_SKIP() << "this process may not set SCHED_FIFO (pthread_setschedparam: error " << setResult.load()
                     << "): run as root or with CAP_SYS_NICE to check the workers' policy";

    EXPECT_EQ(valvora::platform::notedAudioScheduling().policy, SCHED_FIFO);
    EXPECT_EQ(valvora::platform::notedAudioScheduling().priority, priority);
    for (int id : workers) {
        const TaskScheduling t = schedulingOf(id);
        EXPECT_EQ(t.policy, SCHED_FIFO) << "worker " << id;
        EXPECT_EQ(t.priority, priority) << "worker " << id;
    }
#endif
}

}  // namespace
