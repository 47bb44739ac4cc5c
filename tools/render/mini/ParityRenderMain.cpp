// valvora-render-mini: the smallest render host, in portable C++ so it builds
// for Windows too. Loads the module file through its entry point, renders a
// WAV file through the listed programs and writes 32-bit float WAV files:
//   valvora-render-mini MODULE INPUT.wav OUTPUT_FOLDER PROGRAM...
// Output files are OUTPUT_FOLDER/windows-<program>.wav. The parity test
// compares them with the Linux module's renders of the same input.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/render/BlockRenderer.h"
#include "tools/render/PluginHost.h"
#include "tools/render/SimpleWav.h"

using namespace valvora::render;

namespace {

constexpr int kBlock = 512;

int fail(const std::string& message)
{
    std::fprintf(stderr, "valvora-render-mini: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) return fail("usage: valvora-render-mini MODULE INPUT.wav OUTPUT_FOLDER PROGRAM...");
    WavAudio input;
    std::string error;
    if (!readWav(argv[2], input, error)) return fail(error);

    for (int a = 4; a < argc; ++a) {
        const int program = std::atoi(argv[a]);
        // A fresh instance per program, so no reverb tail carries over.
        PluginHost host;
        if (!host.load(argv[1])) return fail(host.error());
        if (program < 0 || program >= host.numPrograms()) return fail(std::string("no program ") + argv[a]);
        host.setProgram(program);
        WavAudio output;
        output.sampleRate = input.sampleRate;
        output.planes = renderInMemory(host, {static_cast<double>(input.sampleRate), kBlock, false}, input.planes);
        const std::string path = std::string(argv[3]) + "/windows-" + std::to_string(program) + ".wav";
        if (!writeFloatWav(path, output, error)) return fail(error);
        std::printf("program %d (%s): %zu frames -> %s\n", program, host.programName().c_str(), output.frames(),
                    path.c_str());
    }
    return 0;
}
