#pragma once

// A request from outside an operation to stop it (the person's Ctrl-C, a terminal that closed, the
// window closing): operations look at it between their mails, where stopping leaves the handset in a
// state they can still find out and report. Safe to make from a signal handler.
void RequestStop();
bool StopRequested();
void ClearStopRequest();
