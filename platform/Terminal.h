#pragma once
// Whether the process's standard streams are terminals.

// True when standard error is a terminal.
bool StandardErrorIsTerminal();
