/* The floor for velmoria-setup's benchmark: a minimal C program doing the
 * I/O of one run of the dialogue, and nothing else. It prints the same
 * console text, reads the answers once, and writes the same events file the
 * way the program does: checked and judged before the questions, with a new
 * file made and removed in the folder; after them checked and judged again,
 * created beside the old one, written in one piece, synced, renamed over it,
 * and the folder synced. The file's bytes are built in (EVENTS_FILE), not
 * built. */

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

/* Reads the old file, as the program does to see whether it must keep a
 * copy; in the benchmark it holds what the run writes, and needs none. */
static int read_old(size_t size) {
  static char old[16384];
  int fd = open("events.txt", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st;
  const ssize_t got = fstat(fd, &st) == 0 ? read(fd, old, sizeof old) : -1;
  const int same = got == (ssize_t)size && read(fd, old, sizeof old) == 0 &&
                   memcmp(old, events, size) == 0;
  close(fd);
  return same ? 0 : -1;
}

int main(void) {
  const size_t size = (size_t)(events_end - events);
  /* Before asking: the file can be written, judged, and the folder takes a
   * new file, which is removed at once. */
  int fd = open("events.txt", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) close(fd);
  if (read_old(size) != 0) return 1;
  char temp[] = "events.txt.XXXXXX";
  fd = mkstemp(temp);
  if (fd < 0 || close(fd) != 0 || unlink(temp) != 0) return 1;

  char answers[8192];
  if (write(1, banner, sizeof banner - 1) < 0 ||
      read(0, answers, sizeof answers) < 0 ||
      write(1, hafsids, sizeof hafsids - 1) < 0 ||
      write(1, teutonics, sizeof teutonics - 1) < 0) {
    return 1;
  }

  /* After the answers: judged again, then written beside it and renamed. */
  fd = open("events.txt", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) close(fd);
  if (read_old(size) != 0) return 1;
  strcpy(temp, "events.txt.XXXXXX");
  fd = mkstemp(temp);
  if (fd < 0 || fchmod(fd, 0644) != 0 ||
      write(fd, events, size) != (ssize_t)size || fsync(fd) != 0 ||
      close(fd) != 0) {
    return 1;
  }
  if (rename(temp, "events.txt") != 0) return 1;
  fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return 0;
}
