#include "replace/interruptions.h"

#include <signal.h>

#include <algorithm>
#include <iterator>

namespace {

// The signals that cannot be caught, or whose default action does not end
// the process; each other one removes the registered files first. SIGXFSZ
// is ignored instead, so that a file size limit fails a write that is then
// reported.
constexpr int kNotFatal[] = {SIGKILL, SIGSTOP, SIGCHLD, SIGCONT,  SIGTSTP,
                             SIGTTIN, SIGTTOU, SIGURG,  SIGWINCH, SIGXFSZ};

// What the scopes below ask of the handler, and a signal deferred.
volatile sig_atomic_t g_deferring = 0;
volatile sig_atomic_t g_ignoring = 0;
volatile sig_atomic_t g_deferred = 0;

// Returns true for a fault of the program's own, raised by the kernel at an
// instruction that would raise it again at once if the handler returned.
bool IsOwnFault(int signal_number, const siginfo_t* info) {
  return info != nullptr && info->si_code > 0 &&
         (signal_number == SIGSEGV || signal_number == SIGBUS ||
          signal_number == SIGILL || signal_number == SIGFPE);
}

// Only signals sent from outside wait, or are let go, in the scopes; a fault
// of the program's own ends it there too, without removing anything while a
// copy of the old file may be the only one.
extern "C" void RemoveFilesAndDie(int signal_number, siginfo_t* info,
                                  void* /*context*/) {
  const bool own_fault = IsOwnFault(signal_number, info);
  if (g_ignoring && !own_fault) return;
  if (g_deferring && !own_fault) {
    g_deferred = signal_number;
    return;
  }
  if (!g_ignoring) RemoveRegisteredFiles();
  // Held until the handler returns, then it ends the process with the
  // status a shell expects of it.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

}  // namespace

void HandleInterruptions() {
  static bool handled = false;
  if (handled) return;
  handled = true;
  struct sigaction action = {};
  action.sa_sigaction = RemoveFilesAndDie;
  // A call the handler let go is carried on.
  action.sa_flags = SA_RESTART | SA_SIGINFO;
  sigfillset(&action.sa_mask);
  // A signal ignored when we started (nohup, a background job) stays so,
  // and one that someone else handles (a sanitizer's crash report) too.
  const auto handle = [&action](int signal_number) {
    struct sigaction previous = {};
    sigaction(signal_number, nullptr, &previous);
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_DFL) {
      sigaction(signal_number, &action, nullptr);
    }
  };
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (std::find(std::begin(kNotFatal), std::end(kNotFatal), signal_number) ==
        std::end(kNotFatal)) {
      handle(signal_number);
    }
  }
  signal(SIGXFSZ, SIG_IGN);
}

DeferredInterruptions::DeferredInterruptions() { g_deferring = 1; }
DeferredInterruptions::~DeferredInterruptions() {
  g_deferring = 0;
  if (const int signal_number = g_deferred) raise(signal_number);
}

IgnoredInterruptions::IgnoredInterruptions() { g_ignoring = 1; }
IgnoredInterruptions::~IgnoredInterruptions() { g_ignoring = 0; }
