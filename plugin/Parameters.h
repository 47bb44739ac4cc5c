#pragma once
// The parameter table moved to the format-neutral core; this name stays so
// that the VST shell's users need not change their includes.
#include "core/Parameters.h"
