#include "app/ordered_cells.h"

#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace pelarin {

std::int64_t RunCellsInOrder(std::span<const std::int64_t> cells, int threads,
                             const std::function<std::string(std::int64_t cell)>& work,
                             const std::function<void(std::int64_t cell, std::string&& result)>& sink,
                             const std::atomic<bool>& stop) {
  const std::size_t workers = threads < 1 ? 1 : static_cast<std::size_t>(threads);
  const std::size_t window = 4 * workers;  // how far the threads may run ahead of the sink
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::size_t, std::string> ready;
  std::size_t next = 0, handed = 0, running = workers;
  std::exception_ptr failure;

  const auto worker = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return stop || failure || next >= cells.size() || next < handed + window; });
      if (stop || failure || next >= cells.size()) break;
      const std::size_t i = next++;
      lock.unlock();
      std::string result;
      std::exception_ptr thrown;
      try {
        result = work(cells[i]);
      } catch (...) {
        thrown = std::current_exception();
      }
      lock.lock();
      if (thrown && !failure) failure = thrown;
      if (!thrown) ready.emplace(i, std::move(result));
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
    while (handed < cells.size()) {
      changed.wait(lock, [&] { return ready.contains(handed) || running == 0; });
      const auto it = ready.find(handed);
      if (it == ready.end()) break;  // every thread has ended and this cell was never done
      std::string result = std::move(it->second);
      ready.erase(it);
      lock.unlock();
      try {
        sink(cells[handed], std::move(result));
      } catch (...) {
        lock.lock();
        if (!failure) failure = std::current_exception();
        changed.notify_all();
        break;
      }
      lock.lock();
      ++handed;
      changed.notify_all();
    }
  }
  pool.clear();  // joins
  if (failure) std::rethrow_exception(failure);
  return static_cast<std::int64_t>(handed);
}

}  // namespace pelarin
