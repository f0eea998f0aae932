#include "app/ordered_cells.h"

namespace pelarin {

std::int64_t RunCellsInOrder(std::span<const std::int64_t> cells, int threads,
                             const std::function<std::string(std::int64_t cell)>& work,
                             const std::function<void(std::int64_t cell, std::string&& result)>& sink,
                             const std::atomic<bool>& stop) {
  return RunChunksInOrder<std::string>(
      cells, threads, 1, [&](std::span<const std::int64_t> one) { return work(one.front()); },
      [&](std::span<const std::int64_t> one, std::string&& result) { sink(one.front(), std::move(result)); },
      stop);
}

}  // namespace pelarin
