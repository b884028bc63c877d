#pragma once

class QThread;

// Hand-offs between the GUI thread and the audio threads that the thread sanitizer can follow.
//
// Qt orders a queued call before its run on the receiving thread, and a thread's last work before
// QThread::wait() returns, through its own futex-based locks. Debian's Qt is not built with the
// sanitizer, so it cannot see that ordering and reports the receiver's first touch of the data as
// a race. These functions state the same ordering to the sanitizer; in other builds they do
// nothing beyond what QThread does.

// Ends `thread`'s event loop and waits until it has finished, the slots connected to
// QThread::finished included. Called on the thread that owns `thread`, never on `thread` itself.
void quitAndJoin(QThread &thread);

// The sender calls this before it posts data to another thread; the receiver calls
// annotateHappensAfter with the same token first thing in the queued call.
void annotateHappensBefore(const void *token);
void annotateHappensAfter(const void *token);
