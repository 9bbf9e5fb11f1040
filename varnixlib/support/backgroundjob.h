#pragma once
// One job at a time on a second thread that lives as long as the object: for the merge, which
// hands thousands of blocks to another core and cannot pay a thread start for each.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace Varnix {

class BackgroundJob {
 public:
  BackgroundJob();
  /// Finishes the job in flight, then ends the thread.
  ~BackgroundJob();
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  /// Runs job on the second thread once the previous job is done (here, at once, when the system
  /// gave no thread). The job must not throw.
  void Start(std::function<void()> job);
  /// Until the job last started is done; what it wrote is then visible to the caller.
  void Wait();

 private:
  void Serve();

  std::mutex myMutex;
  std::condition_variable myChanged;
  std::function<void()> myJob;  ///< guarded by myMutex, with the two flags
  bool myPending = false;
  bool myStop = false;
  std::thread myThread;  ///< last: started once everything it reads exists
};

}  // namespace Varnix
