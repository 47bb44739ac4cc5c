#include "tools/render/ParameterBinding.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "tools/render/RenderError.h"

namespace valvora::render {

namespace {

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool parseNumber(const std::string& text, double& value)
{
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

bool isNumeric(const std::string& text)
{
    double ignored = 0.0;
    return parseNumber(text, ignored);
}

struct SwitchWords {
    std::string off, on;
};

// Asks the effect what it shows at both ends, then puts the value back (the
// effect stores what it is given, so the round trip changes nothing).
SwitchWords displayWords(PluginHost& host, int index)
{
    const float saved = host.parameter(index);
    host.setParameter(index, 0.0f);
    SwitchWords words{host.parameterDisplay(index), {}};
    host.setParameter(index, 1.0f);
    words.on = host.parameterDisplay(index);
    host.setParameter(index, saved);
    return words;
}

}  // namespace

int resolveProgram(const std::vector<std::string>& programNames, const std::string& spec)
{
    const std::string wanted = trim(spec);
    const int count = static_cast<int>(programNames.size());
    double number = 0.0;
    if (parseNumber(wanted, number)) {
        if (number != std::floor(number) || number < 0 || number >= count)
            throw RenderError(kExitUsage,
                              "unknown program " + wanted + " (programs are 0.." + std::to_string(count - 1) + ")");
        return static_cast<int>(number);
    }
    for (int i = 0; i < count; ++i)
        if (lower(trim(programNames[static_cast<std::size_t>(i)])) == lower(wanted)) return i;
    throw RenderError(kExitUsage, "unknown program \"" + wanted + "\" (see --list)");
}

int resolveParameter(PluginHost& host, const std::string& name)
{
    const std::string wanted = lower(trim(name));
    const std::size_t limit = kVstMaxParamStrLen;
    int found = -1;
    for (int i = 0; i < host.numParams(); ++i) {
        const std::string reported = lower(host.parameterName(i));
        const bool exact = reported == wanted;
        const bool shortened = reported.size() == limit && wanted.size() > limit && wanted.compare(0, limit, reported) == 0;
        if (exact) return i;
        if (shortened) {
            if (found >= 0)
                throw RenderError(kExitUsage, "parameter name \"" + trim(name) + "\" is ambiguous (see --list)");
            found = i;
        }
    }
    if (found < 0) throw RenderError(kExitUsage, "unknown parameter \"" + trim(name) + "\" (see --list)");
    return found;
}

float resolveValue(PluginHost& host, int index, const std::string& text)
{
    const std::string wanted = trim(text);
    const SwitchWords words = displayWords(host, index);
    if (lower(wanted) == lower(words.off)) return 0.0f;
    if (lower(wanted) == lower(words.on)) return 1.0f;

    const std::string name = host.parameterName(index);
    double number = 0.0;
    if (parseNumber(wanted, number)) {
        if (!(number >= 0.0 && number <= 1.0))
            throw RenderError(kExitUsage, "value " + wanted + " for " + name + " is out of range (0..1)");
        return static_cast<float>(number);
    }
    std::string expected = "a number 0..1";
    if (!isNumeric(words.off) || !isNumeric(words.on)) expected += " or " + words.off + " / " + words.on;
    throw RenderError(kExitUsage, "invalid value \"" + wanted + "\" for " + name + " (expected " + expected + ")");
}

ParameterValue resolveSetting(PluginHost& host, const std::string& assignment)
{
    const auto equals = assignment.find('=');
    if (equals == std::string::npos)
        throw RenderError(kExitUsage, "--set expects Name=value, got \"" + assignment + "\"");
    ParameterValue result;
    result.index = resolveParameter(host, assignment.substr(0, equals));
    result.value = resolveValue(host, result.index, assignment.substr(equals + 1));
    return result;
}

}  // namespace valvora::render
