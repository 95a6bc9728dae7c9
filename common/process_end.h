#pragma once

#include <string_view>

namespace common {

// The one way either program ends. The first call, from any thread, decides: its line (the text
// and one line feed) is written completely to standard output and the process ends with its
// status at once, without running static destructors or exit handlers. A call that comes later,
// from any thread, writes nothing and never returns; the process ends with the first decision.
//
// A standard output that is closed, or a pipe whose reader has gone, does not kill the process by
// a signal: the line is lost and the status stays that of the decision. Nothing is ever written to
// standard error.

/// Opens /dev/null on whichever of standard input, output and error is closed. Call it before
/// anything opens a file: otherwise a file or socket opened later (by us or by a system library)
/// could take the number of standard output and receive the answer line.
void reserveStandardDescriptors();

/// Writes `text` and "\n" to standard output, then ends the process with `status`.
[[noreturn]] void endWithLine(std::string_view text, int status);

/// Ends the process with `status`, writing nothing.
[[noreturn]] void endSilently(int status);

}  // namespace common
