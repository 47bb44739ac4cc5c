#include "tools/render/RenderOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tools/render/RenderError.h"

namespace valvora::render {

namespace {

constexpr int kMaxBlock = 65536;  // the largest block a VST 2.4 effect must accept here

long parseInteger(const std::string& option, const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        throw RenderError(kExitUsage, option + " expects a whole number, got \"" + text + "\"");
    return value;
}

class ArgumentCursor {
public:
    explicit ArgumentCursor(const std::vector<std::string>& args) : args_(args) {}
    bool done() const { return next_ >= args_.size(); }
    const std::string& take() { return args_[next_++]; }
    const std::string& value(const std::string& option)
    {
        if (done()) throw RenderError(kExitUsage, option + " needs a value");
        return take();
    }

private:
    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
};

void setCommand(RenderOptions& options, Command command, bool& chosen)
{
    if (chosen && options.command != command)
        throw RenderError(kExitUsage, "--list, --bench and --demo-input cannot be combined");
    options.command = command;
    chosen = true;
}

}  // namespace

RenderOptions parseArguments(const std::vector<std::string>& args)
{
    RenderOptions options;
    std::vector<std::string> files;
    bool commandChosen = false;
    ArgumentCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.take();
        if (arg == "-h" || arg == "--help") {
            options.command = Command::Help;
            return options;
        } else if (arg == "--program") {
            options.program = cursor.value(arg);
        } else if (arg == "--set") {
            options.settings.push_back(cursor.value(arg));
        } else if (arg == "--block") {
            const long block = parseInteger(arg, cursor.value(arg));
            if (block < 1 || block > kMaxBlock)
                throw RenderError(kExitUsage, "--block " + std::to_string(block) + " is out of range (1..65536)");
            options.blockSize = static_cast<int>(block);
        } else if (arg == "--double") {
            options.doublePrecision = true;
        } else if (arg == "--plugin") {
            options.pluginPath = cursor.value(arg);
        } else if (arg == "--mono") {
            options.outputChannels = 1;
        } else if (arg == "--format") {
            const std::string& format = cursor.value(arg);
            if (format != "16" && format != "24" && format != "32" && format != "float")
                throw RenderError(kExitUsage, "--format expects 16, 24, 32 or float, got \"" + format + "\"");
            options.outputSampleFormat = format;
        } else if (arg == "--out") {
            options.demoDir = cursor.value(arg);
        } else if (arg == "--seconds") {
            const std::string& text = cursor.value(arg);
            char* end = nullptr;
            const double seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(seconds > 0.0) || !std::isfinite(seconds))
                throw RenderError(kExitUsage, "--seconds expects a positive duration, got \"" + text + "\"");
            options.demoSeconds = seconds;
        } else if (arg == "--list") {
            setCommand(options, Command::List, commandChosen);
        } else if (arg == "--bench") {
            setCommand(options, Command::Bench, commandChosen);
        } else if (arg == "--demo-input") {
            setCommand(options, Command::DemoInput, commandChosen);
            options.output = cursor.value(arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw RenderError(kExitUsage, "unknown option " + arg + " (see --help)");
        } else {
            files.push_back(arg);
        }
    }
    if (!files.empty()) {
        if (commandChosen) throw RenderError(kExitUsage, "unexpected file argument " + files[0]);
        if (files.size() != 2) throw RenderError(kExitUsage, "expected an input file and an output file");
        options.command = Command::Render;
        options.input = files[0];
        options.output = files[1];
    }
    return options;
}

const char* usageText()
{
    return "usage: valvora-render [options] [INPUT OUTPUT]\n"
           "Renders INPUT through the Valvora QX70 module into OUTPUT (WAV, FLAC or AIFF).\n"
           "Without files, renders the built-in DI performance through all programs into out/.\n"
           "\n"
           "  --program N|NAME     select a program by number or name (any letter case)\n"
           "  --set NAME=VALUE     set a parameter, 0..1 or a switch word (repeatable)\n"
           "  --block N            frames per processing call, 1..65536 (default 512)\n"
           "  --double             use the 64-bit processing path\n"
           "  --plugin PATH        the module to load (default: ValvoraQX70 next to this tool)\n"
           "  --mono               write a mono output file (the average of both channels)\n"
           "  --format 16|24|32|float  sample format of the output (default: the input's)\n"
           "  --list               print the parameters, their current texts and the programs\n"
           "  --bench              measure the real-time factor of every program\n"
           "  --out DIR            the demo's output folder (default out)\n"
           "  --seconds S          render only the first S seconds of the built-in performance\n"
           "  --demo-input FILE    write the built-in DI performance to FILE and stop\n";
}

}  // namespace valvora::render
