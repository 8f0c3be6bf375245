#include "replace/interruptions.h"

#include <signal.h>

namespace {

// Signals whose default action ends the process; each removes the registered
// files first. SIGKILL and SIGSTOP cannot be caught. SIGXFSZ is ignored
// instead, so that a file size limit fails a write that is then reported.
constexpr int kFatalSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,
    SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,
    SIGALRM,   SIGTERM, SIGXCPU, SIGSYS,  SIGPROF, SIGVTALRM,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};

sigset_t g_fatal_signals;
sigset_t g_mask_before;  // as it was before interruptions were held

extern "C" void RemoveFilesAndDie(int signal_number) {
  RemoveRegisteredFiles();
  // The handler was reset on entry and the signal is held until it returns;
  // then it ends the process with the status a shell expects of it.
  raise(signal_number);
}

void Hold() { sigprocmask(SIG_BLOCK, &g_fatal_signals, &g_mask_before); }

// Gives the mask back. With `let_go`, a signal that came meanwhile is taken
// first, so that it no longer ends the process.
void Release(bool let_go) {
  sigset_t pending;
  if (let_go && sigpending(&pending) == 0) {
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
      if (sigismember(&pending, signal_number) == 1 &&
          sigismember(&g_fatal_signals, signal_number) == 1 &&
          sigismember(&g_mask_before, signal_number) != 1) {
        sigset_t just_this;
        sigemptyset(&just_this);
        sigaddset(&just_this, signal_number);
        int taken = 0;
        sigwait(&just_this, &taken);
      }
    }
  }
  sigprocmask(SIG_SETMASK, &g_mask_before, nullptr);
}

}  // namespace

void HandleInterruptions() {
  static bool handled = false;
  if (handled) return;
  handled = true;
  sigemptyset(&g_fatal_signals);
  for (int signal_number : kFatalSignals) {
    sigaddset(&g_fatal_signals, signal_number);
  }
#ifdef SIGRTMIN
  // The real-time signals end the process too.
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX;
       ++signal_number) {
    sigaddset(&g_fatal_signals, signal_number);
  }
#endif
  const DeferredInterruptions deferred;
  struct sigaction action = {};
  action.sa_handler = RemoveFilesAndDie;
  action.sa_flags = SA_RESETHAND;
  action.sa_mask = g_fatal_signals;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (sigismember(&g_fatal_signals, signal_number) != 1) continue;
    // A signal ignored when we started (nohup, a background job) stays so,
    // and one that someone else handles (a sanitizer's crash report) too.
    // The signals are held meanwhile, so trying costs one call, not two.
    struct sigaction previous = {};
    sigaction(signal_number, &action, &previous);
    if ((previous.sa_flags & SA_SIGINFO) || previous.sa_handler != SIG_DFL) {
      sigaction(signal_number, &previous, nullptr);
    }
  }
  signal(SIGXFSZ, SIG_IGN);
}

DeferredInterruptions::DeferredInterruptions() { Hold(); }
DeferredInterruptions::~DeferredInterruptions() { Release(/*let_go=*/false); }

IgnoredInterruptions::IgnoredInterruptions() { Hold(); }
IgnoredInterruptions::~IgnoredInterruptions() { Release(/*let_go=*/true); }
