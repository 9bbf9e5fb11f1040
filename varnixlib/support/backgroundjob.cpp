#include "varnixlib/support/backgroundjob.h"

#include <system_error>
#include <utility>

namespace Varnix {

BackgroundJob::BackgroundJob() {
  try {
    myThread = std::thread([this] { Serve(); });
  } catch (const std::system_error&) {
    // Without a thread every job runs inside Start: slower, never wrong.
  }
}

BackgroundJob::~BackgroundJob() {
  if (!myThread.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(myMutex);
    myStop = true;
  }
  myChanged.notify_all();
  myThread.join();
}

void BackgroundJob::Start(std::function<void()> job) {
  if (!myThread.joinable()) {
    job();
    return;
  }
  std::unique_lock<std::mutex> lock(myMutex);
  myChanged.wait(lock, [this] { return !myPending; });
  myJob = std::move(job);
  myPending = true;
  lock.unlock();
  myChanged.notify_all();
}

void BackgroundJob::Wait() {
  std::unique_lock<std::mutex> lock(myMutex);
  myChanged.wait(lock, [this] { return !myPending; });
}

void BackgroundJob::Serve() {
  std::unique_lock<std::mutex> lock(myMutex);
  while (true) {
    myChanged.wait(lock, [this] { return myPending || myStop; });
    // A job handed over before the stop still runs: its caller relies on it.
    if (!myPending) return;
    std::function<void()> job = std::move(myJob);
    lock.unlock();
    job();
    lock.lock();
    myPending = false;
    myChanged.notify_all();
  }
}

}  // namespace Varnix
