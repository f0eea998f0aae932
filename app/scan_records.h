// A scan's rows as packed records, the layout of a numpy structured array: the sink behind Python's
// ScanTable, filled as the blocks arrive so that a scan of millions of cells is held once, at its final
// size, and handed to numpy without a copy.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/scan_engine.h"

namespace pelarin {

// The columns are cell and cells (64-bit integers), each varied parameter, study, curve, the eight figures
// (as the scan file's fields hold them, NaN where blank) and status, packed in that order with no padding.
// A text column is as wide as its longest text (at least one character), one 32-bit code per character as
// numpy's unicode holds it; a longer text than any before widens the column, moving the records once.
class ScanRecords : public ScanSink {
 public:
  struct Column {
    std::string name;       // as the scan file's header names it
    std::string shortName;  // a figure's short name ("Voc"), or empty
    std::string format;     // numpy's: "<i8", "<f8" or "<U<width>"
  };

  void Begin(const ScanSetup& setup, std::int64_t cells) override;
  void Take(const ScanBlock& block) override;

  [[nodiscard]] std::vector<Column> Columns() const;
  [[nodiscard]] std::size_t Rows() const { return rows_; }
  [[nodiscard]] std::size_t RecordSize() const { return RecordSize(widths_); }
  [[nodiscard]] const std::vector<char>& Records() const { return records_; }
  // The records, which the sink no longer holds.
  [[nodiscard]] std::vector<char> Release() { return std::move(records_); }

 private:
  using Widths = std::array<std::size_t, 3>;  // of the study, curve and status columns
  [[nodiscard]] std::size_t RecordSize(const Widths& widths) const;
  void Widen(const Widths& widths);

  std::string_view study_;  // the registry's name: it outlives the scan
  std::int64_t cells_ = 0;
  std::vector<std::string> names_;  // of the varied parameters
  Widths widths_{1, 1, 1};
  std::vector<char> records_;
  std::size_t rows_ = 0;
};

}  // namespace pelarin
