/* The floor for velmoria-setup's benchmark: a minimal C program doing the
 * I/O of one run of the dialogue, and nothing else. It prints the same
 * console text, reads the answers once, and writes the same events file the
 * way the program does: checked, created beside the old one, written in one
 * piece, synced, compared with the old file, renamed over it, and the folder
 * synced. The file's bytes are built in (EVENTS_FILE), not built. */

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

static const char banner[] =
    "Welcome to the Setup Program for Velmoria:\n"
    "\t-Answer in lowercase and follow up with an [Enter]\n"
    "\t-Run it again whenever needed\n"
    "\t-If it summons aliens from Alpha Centauri, it is not my fault\n\n"
    "\nAre Venetians being played by a human? (y or n)";
static const char hafsids[] = "\nAre Hafsids being played by a human? (y or n)";
static const char teutonics[] =
    "\nAre Teutonics being played by a human? (y or n)";

int main(void) {
  const size_t size = (size_t)(events_end - events);
  int fd = open("events.txt", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) close(fd);
  char temp[] = "events.txt.XXXXXX";
  fd = mkstemp(temp);
  if (fd < 0 || fchmod(fd, 0644) != 0) return 1;

  char answers[8192];
  if (write(1, banner, sizeof banner - 1) < 0 ||
      read(0, answers, sizeof answers) < 0 ||
      write(1, hafsids, sizeof hafsids - 1) < 0 ||
      write(1, teutonics, sizeof teutonics - 1) < 0) {
    return 1;
  }

  if (write(fd, events, size) != (ssize_t)size || fsync(fd) != 0 ||
      close(fd) != 0) {
    return 1;
  }
  /* The program reads the old file to see whether it must keep a copy; in
   * the benchmark it holds what the run writes, and needs none. */
  static char old[16384];
  fd = open("events.txt", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    struct stat st;
    const ssize_t got = fstat(fd, &st) == 0 ? read(fd, old, sizeof old) : -1;
    if (got != (ssize_t)size || read(fd, old, sizeof old) != 0 ||
        memcmp(old, events, size) != 0) {
      return 1;
    }
    close(fd);
  }
  if (rename(temp, "events.txt") != 0) return 1;
  fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return 0;
}
