#include "lv2/TurtleWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/FactoryPrograms.h"
#include "core/Parameters.h"
#include "lv2/Lv2Ports.h"

namespace valvora::lv2 {

namespace {

constexpr const char* prefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf:  <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui:   <http://lv2plug.in/ns/extensions/ui#> .\n\n";

std::string presetUri(int program)
{
    return std::string(presetUriBase) + std::to_string(program);
}

// A Turtle string literal; the names here are plain ASCII, but a quote or a
// backslash (the "2x12\"" display text) must be escaped.
std::string quoted(const char* text)
{
    std::string out = "\"";
    for (const char* c = text; *c; ++c) {
        if (*c == '"' || *c == '\\') out += '\\';
        out += *c;
    }
    return out + "\"";
}

std::string programName(int program)
{
    const ProgramRecord& record = factoryProgram(program);
    return std::string(record.name, strnlen(record.name, programNameLength));
}

std::string displayText(int parameter, float value)
{
    char text[16] = {};
    formatParameterDisplay(parameter, value, text);
    return text;
}

void appendScalePoints(std::string& out, int parameter)
{
    // The two positions with the texts the VST host shows for them.
    out += "\t\tlv2:scalePoint [\n\t\t\trdfs:label " + quoted(displayText(parameter, 0.0f).c_str()) +
           " ;\n\t\t\trdf:value 0.0\n\t\t] , [\n\t\t\trdfs:label " +
           quoted(displayText(parameter, 1.0f).c_str()) + " ;\n\t\t\trdf:value 1.0\n\t\t] ;\n";
}

void appendControlPort(std::string& out, int parameter)
{
    const ParameterInfo& info = *parameterInfo(parameter);
    const float initial = factoryProgram(0).values[parameter];
    out += "\t\ta lv2:InputPort , lv2:ControlPort ;\n";
    out += "\t\tlv2:index " + std::to_string(firstControlPort + parameter) + " ;\n";
    out += "\t\tlv2:symbol " + quoted(controlSymbol(parameter).c_str()) + " ;\n";
    out += "\t\tlv2:name " + quoted(info.name) + " ;\n";
    out += "\t\tlv2:default " + turtleNumber(initial) + " ;\n";
    out += "\t\tlv2:minimum 0.0 ;\n\t\tlv2:maximum 1.0 ;\n";
    switch (info.kind) {
        case ParameterKind::Switch:
            out += "\t\tlv2:portProperty lv2:toggled ;\n";
            appendScalePoints(out, parameter);
            break;
        case ParameterKind::ChannelCount:
            // Two choices; any value from 0.5 on means two channels, so
            // a host that offers only the listed points loses nothing.
            out += "\t\tlv2:portProperty lv2:enumeration ;\n";
            appendScalePoints(out, parameter);
            break;
        case ParameterKind::Continuous:
            break;
    }
}

}  // namespace

std::string turtleNumber(float value)
{
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value && static_cast<float>(std::strtod(text, nullptr)) == value)
            break;
    }
    std::string out = text;
    if (out.find_first_of(".e") == std::string::npos) out += ".0";
    return out;
}

std::string manifestTurtle(const std::string& binaryFileName, const std::string& uiBinaryFileName)
{
    std::string out = prefixes;
    out += "<" + std::string(pluginUri) + ">\n\ta lv2:Plugin ;\n\tlv2:binary <" + binaryFileName +
           "> ;\n\trdfs:seeAlso <" + pluginTurtleFileName + "> .\n";
    out += "\n<" + std::string(uiUri) + ">\n\ta ui:X11UI ;\n\tui:binary <" + uiBinaryFileName +
           "> ;\n\trdfs:seeAlso <" + uiTurtleFileName + "> .\n";
    for (int program = 0; program < factoryProgramCount; ++program) {
        out += "\n<" + presetUri(program) + ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" + pluginUri +
               "> ;\n\trdfs:seeAlso <" + presetsTurtleFileName + "> .\n";
    }
    return out;
}

std::string pluginTurtle()
{
    std::string out = prefixes;
    out += "<" + std::string(pluginUri) + ">\n";
    out += "\ta lv2:Plugin , lv2:SimulatorPlugin ;\n";
    out += "\tdoap:name \"Valvora QX70\" ;\n";
    out += "\tlv2:project <" + std::string(projectUri) + "> ;\n";
    // Real-time safe by design; nothing the host must provide.
    out += "\tlv2:optionalFeature lv2:hardRTCapable ;\n";
    out += "\tui:ui <" + std::string(uiUri) + "> ;\n";
    out += "\tlv2:port [\n";
    for (std::uint32_t port = 0; port < portCount; ++port) {
        if (port > 0) out += "\t] , [\n";
        if (port < audioPortCount) {
            const AudioPortInfo& audio = audioPorts[port];
            out += std::string("\t\ta ") + (audio.isInput ? "lv2:InputPort" : "lv2:OutputPort") +
                   " , lv2:AudioPort ;\n";
            out += "\t\tlv2:index " + std::to_string(port) + " ;\n";
            out += "\t\tlv2:symbol " + quoted(audio.symbol) + " ;\n";
            out += "\t\tlv2:name " + quoted(audio.name) + " ;\n";
        } else {
            appendControlPort(out, static_cast<int>(port - firstControlPort));
        }
    }
    out += "\t] .\n";
    // The vendor, as hosts show it, belongs to the project the plug-in is part of.
    out += "\n<" + std::string(projectUri) + ">\n\ta doap:Project ;\n\tdoap:name \"Kelmo Valvora QX70\" ;\n";
    out += "\tdoap:maintainer [\n\t\tfoaf:name \"Kelmo\"\n\t] .\n";
    return out;
}

std::string presetsTurtle()
{
    std::string out = prefixes;
    for (int program = 0; program < factoryProgramCount; ++program) {
        if (program > 0) out += "\n";
        out += "<" + presetUri(program) + ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" + pluginUri + "> ;\n";
        out += "\trdfs:label " + quoted(programName(program).c_str()) + " ;\n";
        out += "\tlv2:port [\n";
        for (int parameter = 0; parameter < parameterCount; ++parameter) {
            if (parameter > 0) out += "\t] , [\n";
            out += "\t\tlv2:symbol " + quoted(controlSymbol(parameter).c_str()) + " ;\n";
            out += "\t\tpset:value " + turtleNumber(factoryProgram(program).values[parameter]) + "\n";
        }
        out += "\t] .\n";
    }
    return out;
}

std::string uiTurtle()
{
    std::string out = prefixes;
    out += "<" + std::string(uiUri) + ">\n\ta ui:X11UI ;\n";
    // Without a parent the panel has nowhere to go; without idle calls its
    // own thread keeps it painted, and it asks for its fixed size.
    out += "\tlv2:requiredFeature ui:parent ;\n";
    out += "\tlv2:optionalFeature ui:idleInterface , ui:resize , ui:noUserResize ;\n";
    out += "\tlv2:extensionData ui:idleInterface ;\n";
    out += "\tui:portNotification [\n";
    for (int parameter = 0; parameter < parameterCount; ++parameter) {
        if (parameter > 0) out += "\t] , [\n";
        out += "\t\tui:plugin <" + std::string(pluginUri) + "> ;\n";
        out += "\t\tlv2:symbol " + quoted(controlSymbol(parameter).c_str()) + " ;\n";
        out += "\t\tui:protocol ui:floatProtocol\n";
    }
    out += "\t] .\n";
    return out;
}

}  // namespace valvora::lv2
