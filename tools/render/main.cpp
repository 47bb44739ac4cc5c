// valvora-render: renders audio through the Valvora QX70 module the way a DAW
// does, from the command line. See usageText() for the options.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/render/Commands.h"
#include "tools/render/RenderError.h"
#include "tools/render/RenderOptions.h"

using namespace valvora::render;

namespace {

int dispatchCommand(const RenderOptions& options)
{
    switch (options.command) {
        case Command::Help: std::fputs(usageText(), stdout); return kExitOk;
        case Command::Render: return renderFile(options);
        case Command::List: return listEffect(options);
        case Command::Bench: return runBench(options);
        case Command::DemoInput: return writeDemoInput(options);
        case Command::Demo: return runDemo(options);
    }
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv)
{
    installInterruptHandler();
    try {
        return dispatchCommand(parseArguments(std::vector<std::string>(argv + 1, argv + argc)));
    } catch (const RenderError& e) {
        std::fprintf(stderr, "valvora-render: %s\n", e.what());
        return e.code();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "valvora-render: %s\n", e.what());
        return 1;
    }
}
