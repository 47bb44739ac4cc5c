#pragma once
// The tool's commands. Each returns the process exit code or throws
// RenderError; main() turns errors into one line on stderr.

#include "tools/render/RenderOptions.h"

namespace valvora::render {

int renderFile(const RenderOptions& options);
int listEffect(const RenderOptions& options);
int runDemo(const RenderOptions& options);
int runBench(const RenderOptions& options);
int writeDemoInput(const RenderOptions& options);

// Set by SIGINT/SIGTERM; long loops poll it and end without leaving files.
bool interruptRequested() noexcept;
void installInterruptHandler() noexcept;

}  // namespace valvora::render
