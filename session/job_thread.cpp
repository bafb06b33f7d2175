#include "session/job_thread.h"

#include "base/log.h"

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

namespace tillvane::jobs {
namespace {

struct Entry {
  std::thread thread;
  bool finished = false;
};

struct Registry {
  // A thread object that is still joinable when the program ends would abort it: join
  // the finished ones, and leave any still running to end with the process.
  ~Registry() {
    std::lock_guard lock(mutex);
    for (Entry& e : entries) {
      if (!e.thread.joinable()) continue;
      if (e.finished) {
        e.thread.join();
      } else {
        e.thread.detach();
      }
    }
  }
  std::mutex mutex;
  std::condition_variable ended;
  std::list<Entry> entries;
  int running = 0;
};

Registry& Jobs() {
  static Registry registry;
  return registry;
}

std::atomic<bool> g_stop{false};

// Joins the threads whose job has ended; the caller holds the registry lock.
void ReapFinished(Registry& r) {
  for (auto it = r.entries.begin(); it != r.entries.end();) {
    if (it->finished) {
      it->thread.join();
      it = r.entries.erase(it);
    } else {
      ++it;
    }
  }
}

// Waits for every running job, pumping the dispatcher so that their synchronised
// calls can run, then joins all threads.
void WaitAll(Dispatcher& dispatcher) {
  Registry& r = Jobs();
  for (;;) {
    dispatcher.ProcessPending();
    std::unique_lock lock(r.mutex);
    if (r.running == 0) {
      ReapFinished(r);
      return;
    }
    r.ended.wait_for(lock, std::chrono::milliseconds(1));
  }
}

}  // namespace

void JobThread::Start(std::unique_ptr<JobThread> job) {
  if (!job) return;
  Registry& r = Jobs();
  std::lock_guard lock(r.mutex);
  ReapFinished(r);
  Entry& entry = r.entries.emplace_back();
  ++r.running;
  JobThread* raw = job.release();
  entry.thread = std::thread([raw, &entry] {
    Run(raw);
    Registry& reg = Jobs();
    std::lock_guard done(reg.mutex);
    entry.finished = true;
    --reg.running;
    reg.ended.notify_all();
  });
}

void JobThread::Run(JobThread* job) {
  // An exception ends the job like a return; its destructor releases what it held.
  try {
    job->Execute();
  } catch (const std::exception& e) {
    LogWarning(LogCategory::Job, std::string("a job ended by an exception: ") + e.what());
  } catch (...) {
    LogWarning(LogCategory::Job, "a job ended by an exception of unknown type");
  }
  delete job;
}

bool JobThread::StopRequested() {
  return g_stop.load(std::memory_order_relaxed);
}

int RunningJobs() {
  Registry& r = Jobs();
  std::lock_guard lock(r.mutex);
  return r.running;
}

void StopJobsAndWait(Dispatcher& dispatcher) {
  g_stop = true;
  WaitAll(dispatcher);
  g_stop = false;
}

void WaitForJobs(Dispatcher& dispatcher) {
  WaitAll(dispatcher);
}

}  // namespace tillvane::jobs
