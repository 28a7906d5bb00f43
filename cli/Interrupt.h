#pragma once
// Stopping a run cleanly. SIGINT, SIGTERM and SIGHUP only raise a flag; the run
// looks at it between the entries of the walk, between files, between the pieces
// of a file and before each commit, lets a commit already under way finish,
// discards every write not yet in place (their temporaries go) and ends with
// 128 + the signal's number. SIGPIPE is ignored: a report that cannot be written
// is an error like any other.

// Installs the handlers (and ignores SIGPIPE).
void InstallInterruptHandlers();

// The signal that asked the run to stop, or 0.
int InterruptSignal();

inline bool Interrupted() {
    return InterruptSignal() != 0;
}

// The exit status of a run stopped by signal: 128 + its number.
int InterruptExitStatus(int signal);

// "SIGTERM" and so on.
const char* InterruptSignalName(int signal);
