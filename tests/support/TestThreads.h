#pragma once

// Several threads at once on shared state, for the race tests (TSan watches them).

#include <QThread>

#include <functional>
#include <memory>
#include <vector>

// Runs work(0) .. work(count - 1) each on a thread of its own; true once all have ended.
inline bool runOnThreads(int count, const std::function<void(int)> &work)
{
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back(QThread::create(work, t));
        threads.back()->start();
    }
    bool ended = true;
    for (const auto &thread : threads)
        ended = thread->wait(60000) && ended;
    return ended;
}
