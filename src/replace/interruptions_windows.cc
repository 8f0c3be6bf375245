#include "replace/interruptions.h"

#include <windows.h>

#include <mutex>

namespace {

// Ctrl-C, Ctrl-Break and a closed console window reach the process on a
// thread of its own. The main thread holds this lock while it makes and
// registers a file, and the handler while it removes them.
std::mutex g_lock;
int g_ignoring = 0;  // the IgnoredInterruptions scopes alive

BOOL WINAPI RemoveFilesOnConsoleEvent(DWORD event) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_ignoring > 0) {
    // Too late to stop: a new file is going into place. Ctrl-C and
    // Ctrl-Break are let go; a closing window ends the process in any case.
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  }
  // The files are open with delete sharing: their names go now, the files
  // themselves as the process ends.
  RemoveRegisteredFiles();
  // Ended here, as Windows' own handler would end it but with the same
  // status everywhere (wine's gives 0), and without running exit code that
  // the main thread, stopped anywhere, may be in the middle of.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

}  // namespace

void HandleInterruptions() {
  SetConsoleCtrlHandler(RemoveFilesOnConsoleEvent, TRUE);
}

DeferredInterruptions::DeferredInterruptions() { g_lock.lock(); }
DeferredInterruptions::~DeferredInterruptions() { g_lock.unlock(); }

IgnoredInterruptions::IgnoredInterruptions() {
  std::lock_guard<std::mutex> hold(g_lock);
  ++g_ignoring;
}

IgnoredInterruptions::~IgnoredInterruptions() {
  std::lock_guard<std::mutex> hold(g_lock);
  --g_ignoring;
}
