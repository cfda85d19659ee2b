/* The C library's malloc and free as a SIP stack uses them in a flood: a
   message's worth of small blocks taken and given back while many others
   stay alive (the transactions and messages of the calls refused in the
   last seconds). Prints nanoseconds per malloc+free pair for a growing
   number of blocks alive. Built for Windows with MinGW and run under Wine,
   and natively, to compare the two heaps:
     x86_64-w64-mingw32-gcc -O2 bench/windows/heap_churn.c -o heap_churn.exe && wine heap_churn.exe
     gcc -O2 bench/windows/heap_churn.c -o heap_churn && ./heap_churn */
#include <stdio.h>
#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>
static double seconds(void) {
  LARGE_INTEGER frequency, count;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&count);
  return (double)count.QuadPart / frequency.QuadPart;
}
#else
#include <time.h>
static double seconds(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}
#endif

/* The same sizes on every run and system. */
static unsigned state = 12345;
static unsigned randomNumber(void) {
  state = state * 1103515245 + 12345;
  return state >> 8;
}
static size_t blockSize(void) { return 16 + randomNumber() % 496; }

int main(void) {
  static const int alive[] = {0, 1000, 10000, 50000};
  for (unsigned a = 0; a < sizeof alive / sizeof alive[0]; a++) {
    int n = alive[a];
    void **kept = calloc(n + 1, sizeof *kept);
    for (int i = 0; i < n; i++)
      kept[i] = malloc(blockSize());
    /* Blocks replaced at random: the free space ends up scattered. */
    for (int i = 0; i < 2 * n; i++) {
      int k = (int)(randomNumber() % n);
      free(kept[k]);
      kept[k] = malloc(blockSize());
    }
    const int pairs = 200000;
    void *message[64];
    double start = seconds();
    for (int i = 0; i < pairs; i += 64) {
      for (int k = 0; k < 64; k++)
        message[k] = malloc(blockSize());
      for (int k = 0; k < 64; k++)
        free(message[k]);
      if (n) {
        int k = (int)(randomNumber() % n);
        free(kept[k]);
        kept[k] = malloc(blockSize());
      }
    }
    printf("%6d blocks alive: %8.0f ns per malloc+free\n", n, (seconds() - start) / pairs * 1e9);
    for (int i = 0; i < n; i++)
      free(kept[i]);
    free(kept);
  }
  return 0;
}
