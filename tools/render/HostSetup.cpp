#include "tools/render/HostSetup.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include "tools/render/ParameterBinding.h"
#include "tools/render/RenderError.h"

namespace valvora::render {

std::string executableFolder()
{
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return "./";
    std::string self(path, static_cast<std::size_t>(length));
    return self.substr(0, self.find_last_of('/') + 1);
}

std::string defaultModulePath() { return executableFolder() + "ValvoraQX70.so"; }

std::string modulePath(const RenderOptions& options)
{
    return options.pluginPath.empty() ? defaultModulePath() : options.pluginPath;
}

void loadEffect(PluginHost& host, const std::string& path)
{
    if (!host.load(path)) throw RenderError(kExitModule, host.error());
}

void applyProgramAndSettings(PluginHost& host, const RenderOptions& options)
{
    if (options.program) host.setProgram(resolveProgram(host.programNames(), *options.program));
    // Resolve everything before applying anything, so a bad later --set
    // cannot leave the effect half-configured (matters for --list).
    std::vector<ParameterValue> values;
    for (const auto& assignment : options.settings) values.push_back(resolveSetting(host, assignment));
    for (const auto& v : values) host.setParameter(v.index, v.value);
}

}  // namespace valvora::render
