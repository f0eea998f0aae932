#include "app/scan_records.h"

#include <algorithm>
#include <cstring>

#include "plot/curves_csv.h"
#include "studies/exact_figures.h"

namespace pelarin {
namespace {

template <class Number>
void Put(char*& out, Number value) {
  std::memcpy(out, &value, sizeof value);
  out += sizeof value;
}

// A text as numpy's fixed-width unicode holds it: one 32-bit code per character, zeros after the text.
void Text(char*& out, std::string_view text, std::size_t width) {
  std::memset(out, 0, 4 * width);
  for (std::size_t i = 0; i < text.size() && i < width; ++i) {
    const std::uint32_t code = static_cast<unsigned char>(text[i]);
    std::memcpy(out + 4 * i, &code, 4);
  }
  out += 4 * width;
}

}  // namespace

void ScanRecords::Begin(const ScanSetup& setup, std::int64_t cells) {
  study_ = setup.study->batchName;
  cells_ = setup.grid.Cells();
  names_.clear();
  records_.clear();
  rows_ = 0;
  for (const ScanAxis& axis : setup.grid.axes) names_.push_back(axis.name);
  widths_ = {std::max<std::size_t>(1, study_.size()), 1, 1};
  const std::size_t curves = ExactCurves(setup.study->exact, setup.cellBase).size();
  records_.reserve(static_cast<std::size_t>(cells) * std::max<std::size_t>(1, curves) * RecordSize());
}

void ScanRecords::Take(const ScanBlock& block) {
  for (const ScanRow& row : block.rows)
    Widen({widths_[0], std::max(widths_[1], row.curve.size()), std::max(widths_[2], row.status.size())});
  const std::size_t size = RecordSize();
  for (std::size_t r = 0; r < block.rows.size(); ++r) {
    const ScanRow& row = block.rows[r];
    const std::size_t at = records_.size();
    records_.resize(at + size);
    char* out = records_.data() + at;
    Put(out, static_cast<std::int64_t>(row.cell));
    Put(out, cells_);
    for (std::size_t a = 0; a < names_.size(); ++a) Put(out, block.values[r * names_.size() + a]);
    Text(out, study_, widths_[0]);
    Text(out, row.curve, widths_[1]);
    for (const double value : FigureValues(row.figures)) Put(out, value);
    Text(out, row.status, widths_[2]);
  }
  rows_ += block.rows.size();
}

std::vector<ScanRecords::Column> ScanRecords::Columns() const {
  std::vector<Column> columns = {{"cell", "", "<i8"}, {"cells", "", "<i8"}};
  for (const std::string& name : names_) columns.push_back({name, "", "<f8"});
  columns.push_back({"study", "", "<U" + std::to_string(widths_[0])});
  columns.push_back({"curve", "", "<U" + std::to_string(widths_[1])});
  static constexpr const char* kShort[] = {"Voc", "Jsc", "",           "Pmax",
                                           "Vmp", "Jmp", "efficiency", "incident_power"};
  const std::string figures = FigureColumns();
  std::size_t from = 0;
  for (const char* shortName : kShort) {
    const std::size_t comma = std::min(figures.find(',', from), figures.size());
    columns.push_back({figures.substr(from, comma - from), shortName, "<f8"});
    from = comma + 1;
  }
  columns.push_back({"status", "", "<U" + std::to_string(widths_[2])});
  return columns;
}

std::size_t ScanRecords::RecordSize(const Widths& widths) const {
  return 8 * (2 + names_.size() + kFigureColumnCount) + 4 * (widths[0] + widths[1] + widths[2]);
}

void ScanRecords::Widen(const Widths& widths) {
  if (widths == widths_) return;
  const std::size_t oldSize = RecordSize(), newSize = RecordSize(widths);
  std::vector<char> moved;
  moved.reserve(std::max(records_.capacity() / oldSize * newSize, rows_ * newSize));
  moved.resize(rows_ * newSize);
  const std::size_t numbers = 8 * (2 + names_.size());
  for (std::size_t r = 0; r < rows_; ++r) {
    const char* in = records_.data() + r * oldSize;
    char* out = moved.data() + r * newSize;
    std::memcpy(out, in, numbers);
    in += numbers, out += numbers;
    const auto copyText = [&](std::size_t from, std::size_t to) {
      std::memset(out, 0, 4 * to);
      std::memcpy(out, in, 4 * from);
      in += 4 * from, out += 4 * to;
    };
    copyText(widths_[0], widths[0]);
    copyText(widths_[1], widths[1]);
    std::memcpy(out, in, 8 * kFigureColumnCount);
    in += 8 * kFigureColumnCount, out += 8 * kFigureColumnCount;
    copyText(widths_[2], widths[2]);
  }
  records_ = std::move(moved);
  widths_ = widths;
}

}  // namespace pelarin
