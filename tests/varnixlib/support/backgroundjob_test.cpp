#include "varnixlib/support/backgroundjob.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

// The merge hands each block to the job and reads what it did after Wait: jobs must run one after
// the other in the order started, each wholly visible after Wait, and a job started just before the
// object goes must still run (its block would otherwise be missing from the file).
TEST(BackgroundJob, JobsRunInOrderAreVisibleAfterWaitAndTheLastOneRunsBeforeTheEnd) {
  std::vector<int> order;
  {
    Varnix::BackgroundJob job;
    for (int k = 0; k < 200; ++k) {
      job.Start([&order, k] {
        if (k % 50 == 0) std::this_thread::yield();
        order.push_back(k);
      });
      if (k % 7 == 0) {
        job.Wait();
        ASSERT_EQ(order.size(), static_cast<size_t>(k + 1));
        EXPECT_EQ(order.back(), k);
      }
    }
    job.Start([&order] { order.push_back(-1); });
  }
  ASSERT_EQ(order.size(), 201u);
  for (int k = 0; k < 200; ++k) ASSERT_EQ(order[k], k);
  EXPECT_EQ(order.back(), -1);
}
