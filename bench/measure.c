/* Runs one command and prints what it cost: wall seconds, CPU seconds (user +
 * system) of the command alone, user and system apart, and its peak resident
 * memory. The benchmark scripts compile it on the fly.
 *
 *   measure [-i IN] [-o OUT] [-a] -- COMMAND [ARG...]
 *
 * -i and -o redirect the command's standard input and output (-a appends), so
 * that `cat FILE > OUT` is measured as cat alone, without a shell in between.
 * Prints one line: "wall cpu user sys maxrss_kib status". wait4() gives the
 * usage of exactly that child, at microsecond resolution. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Seconds(struct timeval t) { return (double)t.tv_sec + (double)t.tv_usec / 1e6; }

int main(int argc, char** argv) {
  const char* in = NULL;
  const char* out = NULL;
  int append = 0;
  int i = 1;
  for (; i < argc; ++i) {
    if (strcmp(argv[i], "-i") == 0 && i + 1 < argc) {
      in = argv[++i];
    } else if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (strcmp(argv[i], "-a") == 0) {
      append = 1;
    } else if (strcmp(argv[i], "--") == 0) {
      ++i;
      break;
    } else {
      break;
    }
  }
  if (i >= argc) {
    fprintf(stderr, "usage: measure [-i IN] [-o OUT] [-a] -- COMMAND [ARG...]\n");
    return 2;
  }

  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid = fork();
  if (pid < 0) {
    perror("measure: fork");
    return 2;
  }
  if (pid == 0) {
    if (in) {
      int fd = open(in, O_RDONLY);
      if (fd < 0 || dup2(fd, 0) < 0) _exit(126);
      close(fd);
    }
    if (out) {
      int fd = open(out, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
      if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
      close(fd);
    }
    execvp(argv[i], argv + i);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) < 0) {
    perror("measure: wait4");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double wall = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
  const double user = Seconds(usage.ru_utime);
  const double sys = Seconds(usage.ru_stime);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  printf("%.6f %.6f %.6f %.6f %ld %d\n", wall, user + sys, user, sys, usage.ru_maxrss, code);
  return 0;
}
