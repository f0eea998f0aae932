#include "app/scan_engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "app/ordered_cells.h"
#include "app/scan_file.h"
#include "model/calc_error.h"
#include "workspace/scratch_folder.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;

ScanOutcome Ended(ScanEnd end, std::string message) {
  ScanOutcome outcome;
  outcome.end = end;
  outcome.message = std::move(message);
  return outcome;
}

// Where a file's notes differ from those expected: "path, line N: it says ..., not ...", or nothing.
std::optional<std::string> DifferentNotes(const ScanFile& file, const std::vector<std::string>& expected,
                                          const std::string& path) {
  for (std::size_t i = 0; i < std::max(file.notes.size(), expected.size()); ++i) {
    const std::string has = i < file.notes.size() ? file.notes[i] : "(no note)";
    const std::string want = i < expected.size() ? expected[i] : "(no note)";
    if (has != want)
      return path + ", line " + std::to_string(i + 1) + ": made by another scan: it says \"" + OneLine(has) +
             "\", not \"" + OneLine(want) + "\"";
  }
  return std::nullopt;
}

// The rows of an earlier run to keep: all but its last cell (which may have been cut short while it was
// written, and is run again), when they are this very scan's first cells of its part, in order, none
// missing; otherwise why not (a sentence with its stop). The cells kept join done.
std::optional<std::string> KeptRows(const ScanSetup& setup, const ScanRequest& request, std::string& kept,
                                    std::set<std::int64_t>& done) {
  std::string error;
  const std::string& path = request.file;
  auto file = ReadScanFile(path, error);
  if (!file) return error + ".";
  if (file->header != ScanHeader(setup.grid))
    return path + " holds another scan (its columns are " + file->header + ").";
  if (const auto differs = DifferentNotes(*file, ScanNotes(setup), path)) return *differs + ".";
  if (!file->cells.empty()) file->cells.pop_back();
  // Every row kept is checked, so that a file changed since is refused rather than resumed.
  if (const auto bad = CheckScanRows(*file, setup.grid, request.study, path)) return *bad + ".";
  std::int64_t next = 0;
  std::size_t line = file->notes.size() + 2;
  for (const ScanCell& cell : file->cells) {
    while (next < setup.grid.Cells() && !request.part.Holds(next)) ++next;
    if (cell.cell != next)
      return path + ", line " + std::to_string(line) + ": cell " + std::to_string(cell.cell) +
             " stands where cell " + std::to_string(next) +
             " belongs; this file is not the start of the scan asked for (another --part, or rows missing), "
             "and resuming it would not give the file the scan writes.";
    ++next;
    line += static_cast<std::size_t>(std::count(cell.rows.begin(), cell.rows.end(), '\n'));
    done.insert(cell.cell);
  }
  kept = ScanFileText(*file);
  return std::nullopt;
}

// Where the cells work: the request's folder (made when missing) when they keep their tables, else a private
// folder removed at the end.
struct CellsFolder {
  std::optional<ScratchFolder> scratch;
  std::string path;
};

std::optional<std::string> MakeCellsFolder(const ScanRequest& request, CellsFolder& folder) {
  std::error_code ec, made;
  if (request.tables) {
    folder.path = request.workDir.empty() ? CurrentDir() : request.workDir;
    fs::create_directories(folder.path, made);
  } else {
    try {
      folder.scratch.emplace("pelarin-scan-");
      folder.path = folder.scratch->Path();
    } catch (const FileError& e) {
      return std::string(e.what()) + ".";
    }
  }
  if (folder.path.empty() || !fs::is_directory(folder.path, ec))
    return "cannot make the working folder " + folder.path + (made ? ": " + made.message() : std::string()) +
           ".";
  return std::nullopt;
}

}  // namespace

MergedScan MergeScanParts(const std::vector<std::string>& parts) {
  MergedScan merged;
  std::map<std::int64_t, std::string> rows;
  std::int64_t cells = -1;
  std::string error, study;
  ScanGrid grid;  // the grid or sample the first part's notes describe
  for (const std::string& path : parts) {
    const auto part = ReadScanFile(path, error);
    if (!part) {
      merged.problem = error + ".";
      return merged;
    }
    if (merged.file.header.empty()) {
      merged.file.header = part->header;
      merged.file.notes = part->notes;
      const auto described = GridOfNotes(part->notes, study, error);
      if (!described) {
        merged.problem = std::string(path).append(": ").append(error).append(".");
        return merged;
      }
      cells = described->Cells();
      grid = *described;
    }
    if (part->header != merged.file.header) {
      merged.problem = path + " holds another scan (other columns).";
      return merged;
    }
    if (const auto differs = DifferentNotes(*part, merged.file.notes, path)) {
      merged.problem = *differs + " (in the first part: another scan).";
      return merged;
    }
    if (const auto bad = CheckScanRows(*part, grid, study, path)) {
      merged.problem = *bad + ".";
      return merged;
    }
    for (const ScanCell& cell : part->cells) {
      const auto [it, fresh] = rows.emplace(cell.cell, cell.rows);
      if (!fresh && it->second != cell.rows) {
        merged.problem = "cell " + std::to_string(cell.cell) + " differs between the parts.";
        return merged;
      }
    }
  }
  for (std::int64_t cell = 0; cell < cells; ++cell) {
    const auto it = rows.find(cell);
    if (it == rows.end())
      merged.missing.push_back(cell);
    else
      merged.file.cells.push_back({cell, cells, it->second});
  }
  return merged;
}

std::size_t CellsPerBlock(FigureMethod method) { return method == FigureMethod::Exact ? 256 : 1; }

ScanOutcome RunScanEngine(const ScanRequest& request, ScanSink* sink, const ProgressCallback& progress) {
  ScanSetup setup;
  setup.grid = request.grid;
  setup.method = request.method;
  setup.tables = request.tables;
  setup.overwrite = request.overwrite;
  setup.overwriteHint = request.overwriteHint;
  setup.form = request.form;
  setup.base = request.base;

  std::error_code ec;
  if (!request.file.empty()) {
    if (!fs::is_directory(fs::path(request.file).parent_path(), ec))
      return Ended(ScanEnd::Refused, "the folder of " + request.file + " does not exist.");
    if (const std::string why = OutputsProblem({request.file}, {}); !why.empty())
      return Ended(ScanEnd::Refused, why + "; nothing was computed or written.");
  }
  std::size_t same = 0;
  if (const GridFault fault = request.grid.Fault(&same); fault != GridFault::None)
    return Ended(
        ScanEnd::Refused,
        GridFaultText(fault, same < request.grid.axes.size() ? request.grid.axes[same].name : "") + ".");
  if (const auto problem = CheckScan(setup, request.study)) return Ended(ScanEnd::Refused, *problem + ".");

  // The file: a fresh one, or the cells of an earlier run kept.
  std::set<std::int64_t> done;
  std::string kept = ScanFileStart(setup);
  // A file is replaced only with leave to, or when this run resumes it; a name found free must still be free
  // when the file is put there, or another run has taken it.
  Replacing replacing = request.existing == ExistingFile::Replace ? Replacing::Allowed : Replacing::Refused;
  if (!request.file.empty() && SomethingAt(request.file)) {
    if (request.existing == ExistingFile::Refuse) return Ended(ScanEnd::FileInTheWay, request.file);
    if (request.existing == ExistingFile::Resume)
      if (const auto why = KeptRows(setup, request, kept, done)) return Ended(ScanEnd::ResumeRefused, *why);
    replacing = Replacing::Allowed;
  }
  std::vector<std::int64_t> todo;
  for (std::int64_t cell = 0; cell < setup.grid.Cells(); ++cell)
    if (request.part.Holds(cell) && !done.contains(cell)) todo.push_back(cell);

  CellsFolder folder;
  if (const auto why = MakeCellsFolder(request, folder)) return Ended(ScanEnd::FileFailed, *why);
  std::optional<ScanFileWriter> file;
  if (!request.file.empty()) {
    try {
      file.emplace(request.file, kept, replacing);
    } catch (const FileExistsError&) {
      return Ended(ScanEnd::FileInTheWay, request.file);
    } catch (const FileError& e) {
      return Ended(ScanEnd::FileFailed, e.what());
    }
  }
  setup.base.id.workDir = folder.path;  // each cell's study works there; the process stays where it is

  ScanOutcome outcome;
  outcome.todo = static_cast<std::int64_t>(todo.size());
  outcome.kept = static_cast<std::int64_t>(done.size());
  if (sink) sink->Begin(setup, outcome.todo);
  const bool text = file || (sink && sink->WantsText());
  const int threads = request.threads > 0
                          ? request.threads
                          : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::atomic<bool> stop{false};
  const auto start = std::chrono::steady_clock::now();
  const auto report = [&] {
    if (!progress) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (progress({outcome.written, outcome.todo, seconds}) == CallbackReturn::Stop) stop = true;
  };
  report();  // a stop asked for before the first cell
  try {
    RunChunksInOrder<ScanBlock>(
        todo, threads, CellsPerBlock(request.method),
        [&](std::span<const std::int64_t> cells) {
          ScanBlock block;
          block.axes = setup.grid.axes.size();
          for (const std::int64_t cell : cells) AddCellRows(setup, cell, block);
          if (text) AppendRowsText(setup, block, 0, block.text);
          return block;
        },
        [&](std::span<const std::int64_t> cells, ScanBlock&& block) {
          if (file) file->Append(block.text);
          if (sink) sink->Take(block);
          outcome.written += static_cast<std::int64_t>(cells.size());
          report();
        },
        stop, report);
  } catch (const std::exception& e) {
    outcome.end = ScanEnd::FileFailed;
    outcome.message = e.what();
  }
  file.reset();
  outcome.redraws = setup.redraws;
  {
    const std::lock_guard lock(setup.coloursLock);
    outcome.colours = setup.colours;
  }
  if (outcome.end == ScanEnd::FileFailed) return outcome;
  if (outcome.written < outcome.todo)
    outcome.end = ScanEnd::Stopped;
  else if (setup.anyFailed)
    outcome.end = ScanEnd::CellsFailed;
  return outcome;
}

}  // namespace pelarin
