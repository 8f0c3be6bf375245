#include "replace/interruptions.h"

#include <signal.h>

#include <algorithm>
#include <ctime>
#include <iterator>

namespace {

// The signals that cannot be caught, or whose default action does not end
// the process; each other one removes the registered files first. SIGXFSZ
// is ignored instead, so that a file size limit fails a write that is then
// reported.
constexpr int kNotFatal[] = {SIGKILL, SIGSTOP, SIGCHLD, SIGCONT,  SIGTSTP,
                             SIGTTIN, SIGTTOU, SIGURG,  SIGWINCH, SIGXFSZ};

// The signals handled, which the scopes below block, and the mask outside
// the scopes, which do not nest.
sigset_t g_handled;
sigset_t g_outside;

// Held until the handler returns, the signal then ends the process with the
// status a shell expects of it.
extern "C" void RemoveFilesAndDie(int signal_number) {
  RemoveRegisteredFiles();
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// A signal blocked here waits. A fault of the program's own, raised by the
// kernel, is not held by a mask: it ends the process at once, its handler
// skipped, so nothing is removed while a copy of the old file may be the
// only one.
void Block() { sigprocmask(SIG_BLOCK, &g_handled, &g_outside); }
void Unblock() { sigprocmask(SIG_SETMASK, &g_outside, nullptr); }

}  // namespace

void HandleInterruptions() {
  struct sigaction action = {};
  action.sa_handler = RemoveFilesAndDie;
  sigfillset(&action.sa_mask);
  sigemptyset(&g_handled);
  // A signal ignored when we started (nohup, a background job) stays so,
  // and one that someone else handles (a sanitizer's crash report) too.
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    struct sigaction previous = {};
    if (std::find(std::begin(kNotFatal), std::end(kNotFatal), signal_number) ==
            std::end(kNotFatal) &&
        sigaction(signal_number, nullptr, &previous) == 0 &&
        !(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_DFL &&
        sigaction(signal_number, &action, nullptr) == 0) {
      sigaddset(&g_handled, signal_number);
    }
  }
  signal(SIGXFSZ, SIG_IGN);
}

DeferredInterruptions::DeferredInterruptions() { Block(); }
// A signal that came meanwhile ends the process now.
DeferredInterruptions::~DeferredInterruptions() { Unblock(); }

IgnoredInterruptions::IgnoredInterruptions() { Block(); }
IgnoredInterruptions::~IgnoredInterruptions() {
  // Those that came meanwhile are let go.
  const timespec now = {};
  while (sigtimedwait(&g_handled, nullptr, &now) > 0) {
  }
  Unblock();
}
