#pragma once
// The event loop of the calling thread.

class pxMessagePump {
public:
    // Retrieves and dispatches messages until the quit request is retrieved.
    // Blocks while nothing is due: all periodic work comes from WM_TIMER.
    void runEventLoop();

    // Posts the quit request (exit code 0). The loop returns once the messages
    // posted before it have been dispatched. May be called any number of times.
    void quitEventLoop();
};
