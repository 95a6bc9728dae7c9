#pragma once

#include "platform/probe_services.h"
#include "probe/result.h"

namespace probe {

/// The answer step: writes the result as the answer line and ends the process with status 0.
/// Returns false, having written nothing, when the result cannot be encoded.
bool answer(const Result& result);

/// The probe's entry procedure. `argv` holds the program path and then the arguments as the
/// parent gave them. Every way through it ends the process.
[[noreturn]] void runProbe(int argc, const char* const argv[], platform::ProbeServices& services);

}  // namespace probe
