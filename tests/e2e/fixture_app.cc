// The executable of the test applications: it keeps running until it is stopped, for at most a
// minute, so that a test that fails to stop it leaves nothing behind for long.
#include <unistd.h>

int main() {
  for (int i = 0; i < 600; ++i) usleep(100'000);
  return 0;
}
