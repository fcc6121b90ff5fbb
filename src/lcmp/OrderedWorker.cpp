#include "lcmp/OrderedWorker.h"

#include <sched.h>
#include <system_error>
#include <utility>

namespace telvora
{

OrderedWorker::OrderedWorker(bool secondThread)
{
    if (!secondThread)
    {
        return;
    }
    try
    {
        thread = std::thread([this] { Run(); });
    }
    catch (const std::system_error&)
    {
        // Without a second thread every task runs where it is handed over.
    }
}

OrderedWorker::~OrderedWorker()
{
    if (!thread.joinable())
    {
        return;
    }
    {
        std::lock_guard lock(mutex);
        stopping = true;
        tasks.clear();
    }
    changed.notify_all();
    thread.join();
}

void OrderedWorker::Post(std::function<void()> task)
{
    if (!thread.joinable())
    {
        task();
        return;
    }
    {
        std::lock_guard lock(mutex);
        RethrowFailure();
        tasks.push_back(std::move(task));
    }
    changed.notify_all();
}

void OrderedWorker::Drain()
{
    if (!thread.joinable())
    {
        return;
    }
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return (tasks.empty() && !busy) || failure; });
    RethrowFailure();
}

bool OrderedWorker::SecondCoreAvailable()
{
    // The cores this process may run on, not those the machine has: a job pinned to one core
    // gains nothing from a second thread.
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (::sched_getaffinity(0, sizeof cores, &cores) != 0)
    {
        return std::thread::hardware_concurrency() > 1;
    }
    return CPU_COUNT(&cores) > 1;
}

void OrderedWorker::RethrowFailure()
{
    if (failure)
    {
        std::rethrow_exception(failure);
    }
}

void OrderedWorker::Run()
{
    std::unique_lock lock(mutex);
    for (;;)
    {
        changed.wait(lock, [this] { return !tasks.empty() || stopping; });
        if (stopping)
        {
            return;
        }
        std::function<void()> task = std::move(tasks.front());
        tasks.pop_front();
        busy = true;
        lock.unlock();
        std::exception_ptr thrown;
        try
        {
            task();
        }
        catch (...)
        {
            thrown = std::current_exception();
        }
        lock.lock();
        busy = false;
        if (thrown)
        {
            failure = thrown;
            tasks.clear();
        }
        changed.notify_all();
    }
}

} // namespace telvora
