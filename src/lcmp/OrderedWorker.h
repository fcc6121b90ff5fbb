#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace telvora
{

// Runs tasks in the order they are handed over: on a second thread while the caller goes on, or
// at once on the caller's thread when asked to, or when no thread can be started. What a task
// throws comes back to the caller at its next Post or Drain, and the tasks after it are dropped.
// The destructor drops what has not started and joins: no thread outlives the object.
class OrderedWorker
{
public:
    explicit OrderedWorker(bool secondThread);
    ~OrderedWorker();
    OrderedWorker(const OrderedWorker&) = delete;
    OrderedWorker& operator=(const OrderedWorker&) = delete;

    void Post(std::function<void()> task);
    // Returns once every task handed over has run.
    void Drain();

    // More than one core is ours to run on.
    static bool SecondCoreAvailable();

private:
    void Run();
    void RethrowFailure();

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    bool busy = false;
    bool stopping = false;
    std::exception_ptr failure;
    std::thread thread;
};

} // namespace telvora
