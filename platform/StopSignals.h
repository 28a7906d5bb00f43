#pragma once
// The signals that ask a program to stop: SIGINT, SIGTERM and SIGHUP only record
// which one came first, for the program to look at when it can stop cleanly.
// SIGPIPE is ignored, so that a write to a closed pipe fails with EPIPE instead
// of ending the process.

// Installs the handlers (without SA_RESTART) and ignores SIGPIPE.
void InstallStopSignalHandlers();

// The first stop signal that arrived, or 0. Safe to call from any thread.
int StopSignalReceived();

// "SIGINT", "SIGTERM", "SIGHUP"; "a signal" for any other number.
const char* StopSignalName(int signal);
