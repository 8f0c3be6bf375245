#ifndef REPLACE_ERRORS_H_
#define REPLACE_ERRORS_H_

// The errors a replace reports besides the system's errno values, which are
// positive: its own, which the setup words, and on Windows the system's
// numbers that have no errno value, which Windows words.

enum : int {
  kInUse = -1,        // held by a program that shares it with nobody else
  kReadOnly = -2,     // its write permission is off: the user's choice
  kNotRegular = -3,   // a device, a FIFO, a socket or a link: not a file
  kLinkOfOther = -4,  // a link in a shared folder, owned by another user
};

// On Windows, an error with no errno value: the system's number added to
// this. The console's calls report theirs so too.
constexpr int kWindowsError = 1 << 16;

#endif  // REPLACE_ERRORS_H_
