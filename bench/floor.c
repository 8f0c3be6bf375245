/* The floor for velmoria-setup's benchmark: a minimal C program doing the
 * I/O of one run with its answers on the command line. Given "first", in a
 * folder with no events.txt; else in one that holds the file an earlier run
 * wrote, which, like the program, it looks at, reads whole and compares with
 * what it writes. Then it creates the new file beside the old one, writes
 * it in one piece, syncs it, renames it into place and syncs the folder. The file's bytes are built in (EVENTS_FILE), not built. */

#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

__asm__(".section .rodata\n"
        ".global events\n"
        "events:\n"
        ".incbin \"" EVENTS_FILE "\"\n"
        ".global events_end\n"
        "events_end:\n"
        ".previous\n");
extern const char events[];
extern const char events_end[];

int main(int argc, char** argv) {
  const int first = argc > 1 && strcmp(argv[1], "first") == 0;
  const size_t size = (size_t)(events_end - events);
  static char old[16384];
  struct stat st;
  if (lstat("events.txt", &st) != 0) {
    if (errno != ENOENT || !first) return 1;
  } else {
    if (first || !S_ISREG(st.st_mode)) return 1;
    int fd = open("events.txt", O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || fstat(fd, &st) != 0) return 1;
    const ssize_t got = read(fd, old, sizeof old);
    if (got != (ssize_t)size || read(fd, old, sizeof old) != 0 ||
        memcmp(old, events, size) != 0 || close(fd) != 0) {
      return 1; /* not the file this run writes */
    }
  }
  char temp[] = "events.txt.XXXXXX";
  int fd = mkstemp(temp);
  if (fd < 0 || (!first && fchmod(fd, st.st_mode & 07777) != 0) ||
      pwrite(fd, events, size, 0) != (ssize_t)size || fsync(fd) != 0 ||
      close(fd) != 0 || rename(temp, "events.txt") != 0) {
    return 1;
  }
  fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0 || close(fd) != 0) return 1;
  return 0;
}
