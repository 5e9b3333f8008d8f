#pragma once

// A request from outside an operation to stop it (the person's Ctrl-C, a terminal that closed, the
// window closing, the progress window's Cancel): operations look at it between their mails, where
// stopping leaves the handset in a state they can still find out and report, and the engine's waits of a
// stretch that may be cut short end on it at once (TStoppableStretch). Safe to make from a signal handler.
void RequestStop();
bool StopRequested();
void ClearStopRequest();

// Makes every later stop request wake the event loop of the calling thread, even one made from a signal
// handler while the loop sleeps, so that a wait that looks at the request ends at once. Needs the
// QCoreApplication; done again after a new one, and nothing without one.
void WakeOnStopRequest();
