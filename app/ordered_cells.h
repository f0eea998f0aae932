// Runs the cells of a scan on several threads and hands their results over in grid order, each as soon as
// it is next, so that a scan's file grows in order whatever the thread count and its memory stays flat.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace pelarin {

// Runs work(cell) for every cell of cells on `threads` threads (at least one) and calls sink(cell, result)
// on the calling thread in the order of cells. At most a few results per thread wait for their turn. When
// stop becomes true no new cell starts; the cells already done are still handed over in order, up to the
// first one that is not. Returns the number of cells handed over. An exception thrown by work stops the
// run and is thrown again here after the threads have ended.
std::int64_t RunCellsInOrder(std::span<const std::int64_t> cells, int threads,
                             const std::function<std::string(std::int64_t cell)>& work,
                             const std::function<void(std::int64_t cell, std::string&& result)>& sink,
                             const std::atomic<bool>& stop);

}  // namespace pelarin
