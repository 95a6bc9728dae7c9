#include "probe/probe.h"

int main(int argc, char* argv[]) {
  const auto services = platform::makeProbeServices();
  probe::runProbe(argc, argv, *services);
}
