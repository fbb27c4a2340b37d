#pragma once
// The program's exit codes, one table for every job.
enum ExitCode : int {
    exitDone = 0,          // the show reached its end, or a headless job finished
    exitUserEnded = 1,     // the viewer ended the show (Esc or closing the window)
    exitError = 2,         // bad options, missing data, no display, a failed job
    exitInterrupted = 130  // a headless job stopped by Ctrl-C or SIGTERM; what was done is kept
};
