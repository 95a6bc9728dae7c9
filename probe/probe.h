#pragma once

#include "platform/probe_services.h"

namespace probe {

/// The probe's entry procedure. `argv` holds the program path and then the arguments as the
/// parent gave them. Every way through it ends the process.
[[noreturn]] void runProbe(int argc, const char* const argv[], platform::ProbeServices& services);

}  // namespace probe
