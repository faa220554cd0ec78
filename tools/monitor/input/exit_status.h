// The monitor's exit status, one rule for every mode (under -- PROGRAM, the
// program's own once it has run): here, upstream of every stage, so that
// each says its own, and the stop's last word the same.
#pragma once

constexpr int kExitDone = 0;    // done; --compare: the screens agree
constexpr int kExitDiffer = 1;  // --compare: the screens differ
constexpr int kExitError = 2;   // any error
