#pragma once
// Threads started while a QuietThreadStart lives leave the requests to stop (SIGINT, SIGTERM,
// SIGHUP) to the threads that were there before: the kernel hands a signal sent to the process
// to any thread that does not block it, and the handler that counts one request, however often
// it arrives, must not run on two threads at once. A new thread inherits the mask of the thread
// that starts it; the starting thread gets its own back at the end of the scope. Faults (SIGSEGV
// and the like) stay open, so that a sanitizer still reports them where they happen.

#include <signal.h>

#include <pthread.h>

class QuietThreadStart {
  public:
    QuietThreadStart() {
        sigset_t requests;
        sigemptyset(&requests);
        for (int number : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&requests, number);
        pthread_sigmask(SIG_BLOCK, &requests, &previous);
    }
    ~QuietThreadStart() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }

    QuietThreadStart(const QuietThreadStart&) = delete;
    QuietThreadStart& operator=(const QuietThreadStart&) = delete;

  private:
    sigset_t previous;
};
