// Captures the Linux editor as a user first sees it (program 0 after the
// first poll) and its about view, as PPM files: the Linux side of the
// Windows pixel-parity check, and the README's picture.
//   valvora-editor-capture <module.so> <output folder>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/editor/x11/X11TestHost.h"
#include "tests/support/PluginHost.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <module.so> <output folder>\n", argv[0]);
        return 2;
    }
    valvora::test::X11TestHost x;
    if (!x.display()) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    valvora::test::PluginHost host(argv[1]);
    if (!host.loaded() || !host.open()) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], host.loadError());
        return 1;
    }
    const Window parent = x.createTopLevel();
    if (host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) != 1) return 1;
    x.sync();
    const Window editor = x.editorIn(parent);
    auto idle = [&] {
        x.sync();
        host.dispatch(effEditIdle);
        x.sync();
    };
    idle();
    const std::string folder = argv[2];
    bool ok = x.capture(editor).writePpm((folder + "/linux-normal.ppm").c_str());
    x.click(editor, 319, 16);  // the about button
    idle();
    ok = x.capture(editor).writePpm((folder + "/linux-about.ppm").c_str()) && ok;
    host.close();
    x.destroy(parent);
    const int errors = valvora::test::X11TestHost::takeErrorCount();
    return ok && errors == 0 ? 0 : 1;
}
