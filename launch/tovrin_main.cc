#include "launch/launcher.h"

int main(int argc, char* argv[]) {
  const auto services = platform::makeLauncherServices();
  launch::runLauncher(argc, argv, *services);
}
