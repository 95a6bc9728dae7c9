/* The floor for the probe: a program that only reads its parent pid and writes "null". */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
  if (argc != 2 || atoi(argv[1]) != (int)getppid()) return 1;
  return write(STDOUT_FILENO, "null\n", 5) == 5 ? 0 : 1;
}
