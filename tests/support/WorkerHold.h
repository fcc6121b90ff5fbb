#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace telvora::test
{

// Holds a worker thread at a point its code offers as a seam until the test lets it go, so that
// the test acts while the worker is known to be there, however fast either thread runs. The wait
// gives up only after a minute, so that a test that forgets to release fails instead of hanging.
class WorkerHold
{
public:
    // Ready for the next hold.
    void Arm()
    {
        std::lock_guard lock(mutex);
        released = false;
        gaveUp = false;
    }
    // Called by the worker: waits until Release.
    void Wait()
    {
        std::unique_lock lock(mutex);
        if (!wake.wait_for(lock, std::chrono::minutes(1), [this] { return released; }))
        {
            gaveUp = true;
        }
    }
    void Release()
    {
        {
            std::lock_guard lock(mutex);
            released = true;
        }
        wake.notify_all();
    }
    // The worker stopped waiting without a Release: the test is wrong.
    bool GaveUp()
    {
        std::lock_guard lock(mutex);
        return gaveUp;
    }

private:
    std::mutex mutex;
    std::condition_variable wake;
    bool released = false;
    bool gaveUp = false;
};

} // namespace telvora::test
