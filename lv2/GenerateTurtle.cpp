// Build tool: writes the LV2 bundle's Turtle files into a folder.
// Usage: valvora-lv2-turtle BUNDLE_DIR BINARY_FILE_NAME UI_BINARY_FILE_NAME

#include <cstdio>
#include <fstream>
#include <string>

#include "lv2/TurtleWriter.h"

namespace {
bool writeFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) std::fprintf(stderr, "valvora-lv2-turtle: cannot write %s\n", path.c_str());
    return static_cast<bool>(file);
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: valvora-lv2-turtle BUNDLE_DIR BINARY_FILE_NAME UI_BINARY_FILE_NAME\n");
        return 2;
    }
    using namespace valvora::lv2;
    const std::string dir = std::string(argv[1]) + "/";
    const bool ok = writeFile(dir + "manifest.ttl", manifestTurtle(argv[2], argv[3])) &&
                    writeFile(dir + pluginTurtleFileName, pluginTurtle()) &&
                    writeFile(dir + presetsTurtleFileName, presetsTurtle()) &&
                    writeFile(dir + uiTurtleFileName, uiTurtle());
    return ok ? 0 : 1;
}
