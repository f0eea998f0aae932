// Runs the cells of a scan on several threads and hands their results over in grid order, each as soon as
// it is next, so that a scan's file grows in order whatever the thread count and its memory stays flat.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace pelarin {

// Runs work(chunk) for consecutive chunks of cells (chunk cells each, the last one shorter) on `threads`
// threads (at least one) and calls sink(chunk, result) on the calling thread in the order of cells. Each
// thread owns a chunk at a time, so that cells of microseconds share one hand-over. At most a few results per
// thread wait for their turn. While no result is ready, idle() is called on the calling thread every
// idleEvery (when given), so that a stop can be asked for by whoever waits. When stop becomes true no new
// chunk starts; the chunks already done are still handed over in order, up to the first one that is not.
// Returns the number of cells handed over. An exception thrown by work or sink stops the run and is thrown
// again here after the threads have ended.
template <class Result>
std::int64_t RunChunksInOrder(std::span<const std::int64_t> cells, int threads, std::size_t chunk,
                              const std::function<Result(std::span<const std::int64_t>)>& work,
                              const std::function<void(std::span<const std::int64_t>, Result&&)>& sink,
                              const std::atomic<bool>& stop, const std::function<void()>& idle = nullptr,
                              std::chrono::milliseconds idleEvery = std::chrono::milliseconds(100)) {
  const std::size_t size = chunk < 1 ? 1 : chunk;
  const std::size_t chunks = (cells.size() + size - 1) / size;
  const auto cellsOf = [&](std::size_t i) {
    return cells.subspan(i * size, std::min(size, cells.size() - i * size));
  };
  const std::size_t workers = threads < 1 ? 1 : static_cast<std::size_t>(threads);
  const std::size_t window = 4 * workers;  // how far the threads may run ahead of the sink
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::size_t, Result> ready;
  std::size_t next = 0, handed = 0, running = workers;
  std::int64_t cellsHanded = 0;
  std::exception_ptr failure;

  const auto worker = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return stop || failure || next >= chunks || next < handed + window; });
      if (stop || failure || next >= chunks) break;
      const std::size_t i = next++;
      lock.unlock();
      std::optional<Result> result;
      std::exception_ptr thrown;
      try {
        result.emplace(work(cellsOf(i)));
      } catch (...) {
        thrown = std::current_exception();
      }
      lock.lock();
      if (thrown && !failure) failure = thrown;
      if (!thrown) ready.emplace(i, std::move(*result));
      changed.notify_all();
    }
    --running;
    changed.notify_all();
  };

  std::vector<std::jthread> pool;
  pool.reserve(workers);
  for (std::size_t t = 0; t < workers; ++t) pool.emplace_back(worker);
  {
    std::unique_lock lock(mutex);
    while (handed < chunks) {
      const auto arrived = [&] { return ready.contains(handed) || running == 0; };
      if (idle) {
        while (!changed.wait_for(lock, idleEvery, arrived)) {
          lock.unlock();
          try {
            idle();
          } catch (...) {
            lock.lock();
            if (!failure) failure = std::current_exception();
            changed.notify_all();
            lock.unlock();
          }
          lock.lock();
          if (failure) break;
        }
        if (failure) break;
      } else {
        changed.wait(lock, arrived);
      }
      const auto it = ready.find(handed);
      if (it == ready.end()) break;  // every thread has ended and this chunk was never done
      Result result = std::move(it->second);
      ready.erase(it);
      lock.unlock();
      try {
        sink(cellsOf(handed), std::move(result));
      } catch (...) {
        lock.lock();
        if (!failure) failure = std::current_exception();
        changed.notify_all();
        break;
      }
      lock.lock();
      cellsHanded += static_cast<std::int64_t>(cellsOf(handed).size());
      ++handed;
      changed.notify_all();
    }
  }
  pool.clear();  // joins
  if (failure) std::rethrow_exception(failure);
  return cellsHanded;
}

// The same, one cell at a time.
std::int64_t RunCellsInOrder(std::span<const std::int64_t> cells, int threads,
                             const std::function<std::string(std::int64_t cell)>& work,
                             const std::function<void(std::int64_t cell, std::string&& result)>& sink,
                             const std::atomic<bool>& stop);

}  // namespace pelarin
