/* Starts programs the way their parent does (its own pid as the last argument, standard output
 * on a pipe that it reads to the end) many times over, alternating between them, and prints the
 * median wall time and the median peak resident memory of each, and their ratios to the first.
 *
 * usage: spawn_bench RUNS PROGRAM [PROGRAM...]
 */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int compare(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char* argv[]) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s RUNS PROGRAM [PROGRAM...]\n", argv[0]);
    return 2;
  }
  const int runs = atoi(argv[1]);
  const int programs = argc - 2;
  double* times = calloc((size_t)(runs * programs), sizeof(double));
  double* memory = calloc((size_t)(runs * programs), sizeof(double));
  char self[32];
  snprintf(self, sizeof self, "%d", (int)getpid());

  for (int run = 0; run < runs; ++run) {
    for (int p = 0; p < programs; ++p) {
      int fds[2];
      if (pipe(fds) != 0) return 3;
      const double start = now();
      const pid_t child = fork();
      if (child == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(argv[2 + p], argv[2 + p], self, (char*)NULL);
        _exit(127);
      }
      close(fds[1]);
      char buffer[256];
      while (read(fds[0], buffer, sizeof buffer) > 0) {
      }
      close(fds[0]);
      int status = 0;
      struct rusage usage;
      wait4(child, &status, 0, &usage);
      times[p * runs + run] = now() - start;
#ifdef __APPLE__
      memory[p * runs + run] = (double)usage.ru_maxrss / 1024.0; /* bytes on macOS */
#else
      memory[p * runs + run] = (double)usage.ru_maxrss; /* KiB */
#endif
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s failed\n", argv[2 + p]);
        return 4;
      }
    }
  }

  double baseTime = 0, baseMemory = 0;
  for (int p = 0; p < programs; ++p) {
    qsort(times + p * runs, (size_t)runs, sizeof(double), compare);
    qsort(memory + p * runs, (size_t)runs, sizeof(double), compare);
    const double t = times[p * runs + runs / 2], m = memory[p * runs + runs / 2];
    if (p == 0) {
      baseTime = t;
      baseMemory = m;
    }
    printf("%-40s median %8.1f us  peak %6.0f KiB  time x%.2f  memory x%.2f\n", argv[2 + p],
           t * 1e6, m, t / baseTime, m / baseMemory);
  }
  return 0;
}
