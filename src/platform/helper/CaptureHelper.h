#pragma once

/// The capture helper program: checks its arguments (exit status 2 with one line on stderr when
/// they are refused), clears its environment, opens the adapter, reports the outcome on a status
/// record on its standard output, gives up every capability and then streams frames and
/// statistics records until the adapter is lost (an end record, exit status 0), the reader goes
/// away (exit status 0) or its parent dies. Opening failures exit with status 1 after the status
/// record.
int runCaptureHelper(int argc, const char* const* argv);
