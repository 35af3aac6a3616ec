#include "JobActions.h"

JobActions JobActions::of(JobState state, JobKind kind)
{
    JobActions can;
    const bool unfinished = state == JobState::Waiting || state == JobState::Running || state == JobState::Paused;
    // A recording cannot wait halfway: it is stopped, not paused.
    can.pause = (state == JobState::Running || state == JobState::Waiting) && kind != JobKind::Recording;
    can.resume = state == JobState::Paused;
    can.cancel = unfinished;
    can.retry = state == JobState::Failed || state == JobState::Canceled;
    can.remove = true;
    can.move = state == JobState::Waiting || state == JobState::Paused;
    can.open = state == JobState::Finished;
    return can;
}
