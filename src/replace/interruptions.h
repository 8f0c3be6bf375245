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
// returns its slot; -1 if there is no room for it. Call it with
// interruptions held, from the making of the file, so that the handler
// never sees a file made but not registered, nor a name half written.
int RegisterForRemoval(const std::filesystem::path& name);

// Forgets the name in `slot`; -1 is none.
void Unregister(int slot);

// Removes every file still registered; called by the handlers, and safe
// there.
void RemoveRegisteredFiles();

// Holds interruptions off while it lives, so that a file is made and
// registered in one step; one that came meanwhile comes when it ends. Scopes
// of this and of Uninterrupted do not nest.
class HeldInterruptions {
 public:
  HeldInterruptions();
  ~HeldInterruptions();
  HeldInterruptions(const HeldInterruptions&) = delete;
  HeldInterruptions& operator=(const HeldInterruptions&) = delete;
};

// While it lives, interruptions are let go: what it covers (a new file going
// into place) finishes, and the run ends as it would have. When it ends,
// interruptions stop the process again.
class Uninterrupted {
 public:
  Uninterrupted();
  ~Uninterrupted();
  Uninterrupted(const Uninterrupted&) = delete;
  Uninterrupted& operator=(const Uninterrupted&) = delete;
};

#endif  // REPLACE_INTERRUPTIONS_H_
