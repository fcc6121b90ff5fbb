#include "lcmp/OrderedWorker.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace telvora::test
{
namespace
{

TEST(OrderedWorker, TasksRunInTheOrderHandedOverOnEitherThread)
{
    for (const bool secondThread : {false, true})
    {
        std::vector<int> order;
        {
            OrderedWorker worker(secondThread);
            for (int i = 0; i < 1000; ++i)
            {
                worker.Post([&order, i] { order.push_back(i); });
            }
            worker.Drain();
        }
        std::vector<int> expected(1000);
        for (int i = 0; i < 1000; ++i)
        {
            expected[static_cast<std::size_t>(i)] = i;
        }
        EXPECT_EQ(order, expected) << "second thread " << secondThread;
    }
}

TEST(OrderedWorker, AFailureComesBackToTheCallerAndNoLaterTaskRuns)
{
    for (const bool secondThread : {false, true})
    {
        int later = 0;
        OrderedWorker worker(secondThread);
        EXPECT_THROW(
            {
                worker.Post([] { throw std::runtime_error("write failed"); });
                for (int i = 0; i < 100; ++i)
                {
                    worker.Post([&later] { ++later; });
                }
                worker.Drain();
            },
            std::runtime_error);
        EXPECT_EQ(later, 0) << "second thread " << secondThread;
    }
}

} // namespace
} // namespace telvora::test
