// Compares two recorded sessions for visual regression tests: walks both
// message by message, says where their messages first differ and after
// which message their composed screens first differ beyond a tolerance,
// and draws where (differing pixels red over a faded grey copy of A's).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct CompareOptions {
  std::string a, b;
  std::string diff;             // a PNG of the differing pixels, when set
  int maxDifference = 0;        // the largest difference of a channel that still counts as equal
  int64_t totalPixels = 0;      // how many pixels may differ
  std::optional<int64_t> at;    // compare only the screens right after this message
  bool final = false;           // compare only the last screens
  bool json = false;            // JSON lines instead of text
  bool allowEmpty = false;      // a session with no message is no error
  std::string images = ".";
};

// Returns the exit status: 0 the screens agree within the tolerance, 1 they
// differ, 2 a session cannot be read or holds no message (unless allowed),
// or the picture of the differences cannot be written.
int Compare(const CompareOptions& options);
