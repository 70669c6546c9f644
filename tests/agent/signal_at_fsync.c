/* Loaded into QUILLCMD by the end-to-end tests (LD_PRELOAD): the program's
 * fsync calls are counted, the count written to the file that
 * QM_FSYNC_COUNT names, and the call numbered QM_SIGNAL_AT_FSYNC sends the
 * program SIGTERM first. The programs the run starts load nothing. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static int calls;

__attribute__((constructor)) static void only_this_program(void) { unsetenv("LD_PRELOAD"); }

int fsync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  ++calls;
  const char* at = getenv("QM_SIGNAL_AT_FSYNC");
  if (at && atoi(at) == calls) kill(getpid(), SIGTERM);
  const char* count = getenv("QM_FSYNC_COUNT");
  if (count) {
    FILE* f = fopen(count, "w");
    if (f) {
      fprintf(f, "%d\n", calls);
      fclose(f);
    }
  }
  return real(fd);
}
