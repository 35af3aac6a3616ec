#pragma once

#include "JobTypes.h"

// What may be done with a job in a state, as the list's buttons offer it.
struct JobActions
{
    bool pause = false;
    bool resume = false;
    bool cancel = false;   // "Stop" for a recording: it keeps what it has
    bool retry = false;
    bool remove = false;
    bool move = false;     // up and down: a job that waits
    bool open = false;     // the file and its folder

    static JobActions of(JobState state, JobKind kind);
};
