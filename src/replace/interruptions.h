#ifndef REPLACE_INTERRUPTIONS_H_
#define REPLACE_INTERRUPTIONS_H_

#include <filesystem>

// What keeps an interruption (a signal; on Windows Ctrl-C, Ctrl-Break or a
// closed console window) from leaving the program's files behind: handlers
// that remove the files still registered, then end the process as the
// interruption would have.

// Arms the handlers. Called once, at the start, before any file is made.
void HandleInterruptions();

// Registers `name` as a file to remove if the process is interrupted, and
// returns its slot. There is room for the two files a replace makes at once,
// each a name the system took; -1 is no room. Call it with interruptions
// deferred, from the making of the file, so that the handler never sees a
// file made but not registered, nor a name half written.
int RegisterForRemoval(const std::filesystem::path& name);

// Forgets the name in `slot`; -1 is none.
void Unregister(int slot);

// Removes every file still registered; called by the handlers, and safe
// there.
void RemoveRegisteredFiles();

// While it lives, an interruption is deferred: it comes, and ends the
// process, when the scope ends. So a file is made and registered in one
// step. Scopes of this and of IgnoredInterruptions do not nest. In both, a
// fault of the program's own (SIGSEGV, SIGBUS, SIGILL, SIGFPE raised by the
// kernel) still ends it at once, and removes nothing.
class DeferredInterruptions {
 public:
  DeferredInterruptions();
  ~DeferredInterruptions();
  DeferredInterruptions(const DeferredInterruptions&) = delete;
  DeferredInterruptions& operator=(const DeferredInterruptions&) = delete;
};

// While it lives, an interruption is ignored: it is let go, so that what the
// scope covers (a new file going into place) finishes and the run ends as it
// would have. When it ends, interruptions stop the process again.
class IgnoredInterruptions {
 public:
  IgnoredInterruptions();
  ~IgnoredInterruptions();
  IgnoredInterruptions(const IgnoredInterruptions&) = delete;
  IgnoredInterruptions& operator=(const IgnoredInterruptions&) = delete;
};

#endif  // REPLACE_INTERRUPTIONS_H_
