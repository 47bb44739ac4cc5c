#pragma once
// Runs the built valvora-render executable as a user would, with stdout and
// stderr captured (stderr is never a terminal here), in a scratch folder that
// is removed afterwards. Also reads audio files back for comparisons.

#include <string>
#include <vector>

namespace valvora::test {

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string path(const std::string& name) const { return root_ + "/" + name; }
    const std::string& root() const { return root_; }
    // Every file name in the folder, sorted.
    std::vector<std::string> files() const;

private:
    std::string root_;
};

ToolRun runTool(const std::vector<std::string>& args);

struct AudioData {
    int sampleRate = 0, channels = 0, subtype = 0;
    std::vector<std::vector<float>> planes;
};
// Reads through libsndfile; fails the current test if the file cannot be read.
AudioData readAudio(const std::string& path);

// Writes a file through libsndfile: `channels` copies of a short plucked line.
void writeTestInput(const std::string& path, int sampleRate, int channels, int format, double seconds);

}  // namespace valvora::test
