#pragma once
// One failure the user can act on: a one-line message and the exit code that
// tells scripts which kind of input was wrong.

#include <stdexcept>
#include <string>

namespace valvora::render {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,   // bad option, unknown program or parameter, value out of range
    kExitInput = 3,   // input file missing, unreadable or in an unsupported format
    kExitModule = 4,  // module does not load, has no entry point or returns no effect
    kExitOutput = 5,  // output cannot be written or its format is unsupported
    kExitInterrupted = 130,
};

class RenderError : public std::runtime_error {
public:
    RenderError(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
    ExitCode code() const noexcept { return code_; }

private:
    ExitCode code_;
};

}  // namespace valvora::render
