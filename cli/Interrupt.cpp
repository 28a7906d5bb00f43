#include "cli/Interrupt.h"

#include "platform/StopSignals.h"

void InstallInterruptHandlers() {
    InstallStopSignalHandlers();
}

int InterruptSignal() {
    return StopSignalReceived();
}

int InterruptExitStatus(int signal) {
    return 128 + signal;
}

const char* InterruptSignalName(int signal) {
    return StopSignalName(signal);
}
