// pelarin-batch: the studies without windows. It links no Qt; plot images come from the image plugin,
// loaded only when --images or scan --plot asks for them.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "batch/figures_command.h"
#include "batch/fit_command.h"
#include "batch/image_plugin.h"
#include "batch/scan_command.h"
#include "pelarin_version.h"

namespace {

// The image plugin of this program, loaded on demand and finished before the program ends.
class ImagePlugin {
 public:
  ImagePlugin() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path folder = ec ? std::filesystem::path(".") : self.parent_path();
    // Beside the program in the build tree; in <prefix>/libexec/pelarin once installed.
    path_ = folder / kImagePluginFile;
    if (!std::filesystem::exists(path_, ec)) path_ = folder / ".." / "libexec" / "pelarin" / kImagePluginFile;
    handle_ = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      const char* why = ::dlerror();
      error_ = why ? why : "unknown reason";
      return;
    }
    save_ = reinterpret_cast<SavePlotImageFunction>(::dlsym(handle_, kSavePlotImageSymbol));
    finish_ = reinterpret_cast<FinishImagesFunction>(::dlsym(handle_, kFinishImagesSymbol));
    if (!save_ || !finish_) error_ = "it does not provide the image functions";
  }
  ~ImagePlugin() {
    if (finish_) finish_();
    // The plugin stays loaded: Qt keeps state in it until the process exits.
  }
  ImagePlugin(const ImagePlugin&) = delete;
  ImagePlugin& operator=(const ImagePlugin&) = delete;

  [[nodiscard]] bool Ready() const { return error_.empty(); }
  [[nodiscard]] std::string Problem() const {
    return "the image renderer " + path_.string() + " cannot be loaded: " + error_;
  }
  [[nodiscard]] bool Save(const pelarin::RecordingSurface& drawing, int width, int height,
                          const std::string& path) const {
    return save_(&drawing, width, height, path.c_str()) != 0;
  }

 private:
  std::filesystem::path path_;
  void* handle_ = nullptr;
  SavePlotImageFunction save_ = nullptr;
  FinishImagesFunction finish_ = nullptr;
  std::string error_;
};

}  // namespace

// Runs a command with the image plugin's saver when it draws pictures (loaded only then), or with none;
// a plugin that cannot be loaded fails the command, saying so after what.
template <class Run>
int WithImages(bool wanted, const char* what, const Run& run) {
  if (!wanted) return run(pelarin::ImageSaver());
  const ImagePlugin images;
  if (!images.Ready()) {
    std::cerr << what << ": " << images.Problem() << ".\n";
    return pelarin::kBatchFailed;
  }
  return run([&](const pelarin::RecordingSurface& drawing, int width, int height, const std::string& path) {
    return images.Save(drawing, width, height, path);
  });
}

// Set by Ctrl-C during a scan or a fit: it ends after the cells (or starts) under way, its files complete.
std::atomic<bool> scanStop{false};
extern "C" void StopScan(int) { scanStop = true; }

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << "pelarin-batch " PELARIN_VERSION "\n";
    return pelarin::kBatchOk;
  }
  if (!args.empty() && args[0] == "scan-merge")
    return pelarin::RunScanMerge({args.begin() + 1, args.end()}, std::cout, std::cerr);
  if (!args.empty() && args[0] == "figures") {
    const auto options = pelarin::ParseFiguresOptions({args.begin() + 1, args.end()}, std::cerr);
    return options ? pelarin::RunFigures(*options, std::cout, std::cerr) : pelarin::kBatchUsage;
  }
  if (!args.empty() && args[0] == "fit") {
    auto options = pelarin::ParseFitOptions({args.begin() + 1, args.end()}, std::cerr);
    if (!options) return pelarin::kBatchUsage;
    options->terminal = ::isatty(STDERR_FILENO) != 0;
    std::signal(SIGINT, StopScan);
    std::signal(SIGTERM, StopScan);
    return WithImages(options->plot.has_value(), "pelarin-batch fit: --plot",
                      [&](const pelarin::ImageSaver& save) {
                        return pelarin::RunFit(*options, std::cout, std::cerr, scanStop, save);
                      });
  }
  if (!args.empty() && args[0] == "scan") {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (rest.empty() || rest[0] == "--help" || rest[0] == "-h") {
      std::cout << pelarin::ScanHelp();
      return rest.empty() ? pelarin::kBatchUsage : pelarin::kBatchOk;
    }
    auto options = pelarin::ParseScanOptions(rest, std::cerr);
    if (!options) return pelarin::kBatchUsage;
    options->terminal = ::isatty(STDERR_FILENO) != 0;
    std::signal(SIGINT, StopScan);
    std::signal(SIGTERM, StopScan);
    return WithImages(options->plot.has_value(), "pelarin-batch scan: --plot",
                      [&](const pelarin::ImageSaver& save) {
                        return pelarin::RunScan(*options, std::cout, std::cerr, scanStop, save);
                      });
  }
  const auto options = pelarin::ParseBatchOptions(args, std::cerr);
  if (!options) return pelarin::kBatchUsage;
  return WithImages(options->images, "pelarin-batch: --images", [&](const pelarin::ImageSaver& save) {
    return pelarin::RunBatch(*options, std::cout, std::cerr, save);
  });
}
