// talixdb report: surface reports of a solver and the PCA modes built from
// them.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CatalogueLookup.h"
#include "Command.h"
#include "ExitCodes.h"
#include "JsonOutput.h"
#include "LocalFiles.h"

namespace talixdb_cli {

namespace {

int uploadReports(Context& context, const ParsedArgs& args);
int showValues(Context& context, const ParsedArgs& args);
int showModes(Context& context, const ParsedArgs& args);
int showModeValues(Context& context, const ParsedArgs& args);
int showAmplitudes(Context& context, const ParsedArgs& args);
int clearModes(Context& context, const ParsedArgs& args);

}  // namespace

Family reportFamily() {
  return Family{
      "report",
      "Store surface reports and read values, PCA modes and modal amplitudes",
      {
          {"upload", "MODELPATH SOLVER SURFACE NUMBER FILE...",
           "Store report files numbered from NUMBER on, updating the surface's PCA modes", 5, -1, {}, uploadReports,
           "A surface report starts with the 14 bytes \"TALIX_Report_2\", a zero byte and 25 more bytes;\n"
           "then the value count and one value per line. A file without that header is stored but\n"
           "does not take part in the PCA modes.\n"},
          {"values", "MODELPATH SOLVER SURFACE NUMBER", "Print the values of a stored report, one per line", 4, 4,
           {kJsonOption}, showValues, "With --json: {\"number\": NUMBER, \"values\": [X, ...]}.\n"},
          {"modes", "MODELPATH SOLVER SURFACE", "Print the number of PCA modes and/or the PCA modes file", 3, 3,
           {{"count", 0, "", "print the number of modes (the default)"},
            {"text", 0, "", "print the PCA modes file"},
            {"output", 'o', "FILE", "write the PCA modes file to FILE"},
            kJsonOption},
           showModes,
           "With --json: {\"count\": N}, with \"text\": the PCA modes file as well when --text is given.\n"},
          {"mode-values", "MODELPATH SOLVER SURFACE INDEX", "Print the components of PCA mode INDEX (from 0)", 4, 4,
           {kJsonOption}, showModeValues, "With --json: {\"index\": INDEX, \"values\": [X, ...]}.\n"},
          {"amplitudes", "MODELPATH SOLVER SURFACE NUMBER", "Print a stored report's amplitude on each PCA mode", 4,
           4, {kJsonOption}, showAmplitudes,
           "With --json: {\"number\": NUMBER, \"amplitudes\": [X, ...]}, one amplitude per mode.\n"},
          {"clear-modes", "MODELPATH SOLVER", "Remove the PCA modes of every surface of a solver", 2, 2, {},
           clearModes, "The reports stay; the next stored report of a surface starts its modes afresh.\n"},
      }};
}

namespace {

const char kReportMagic[] = "TALIX_Report_2";
constexpr std::size_t kReportHeaderSize = 40;

// One number per line; with --json, `document` with the numbers under `key`.
void printNumbers(const ParsedArgs& args, nlohmann::json document, const char* key, const double* values,
                  int count) {
  if (args.has("json")) {
    document[key] = std::vector<double>(values, values + (count > 0 ? count : 0));
    printJson(document);
    return;
  }
  for (int i = 0; i < count; ++i) std::printf("%.15g\n", values[i]);
}

// The arguments every report action starts with.
struct SurfaceArgs {
  ModelPath model;
  std::string solver;
  std::string surface;
};

int readSurfaceArgs(Context& context, const ParsedArgs& args, SurfaceArgs& surface) {
  if (int read = readModelPath(context, args.positionals[0], surface.model)) return read;
  surface.solver = args.positionals[1];
  if (args.positionals.size() > 2) surface.surface = args.positionals[2];
  return exit_code::kSuccess;
}

std::string describe(const SurfaceArgs& surface) {
  return "surface " + surface.surface + " of solver " + surface.solver + " in " + surface.model.shown();
}

// Stores the files as reports first, first + 1, ...; stops at the first failure.
int storeReports(Context& context, const SurfaceArgs& surface, int first, const std::vector<std::string>& files) {
  const std::string modelPath = surface.model.full();
  const std::size_t total = files.size();
  for (std::size_t i = 0; i < total; ++i) {
    const int number = first + static_cast<int>(i);
    std::string bytes, error;
    if (!readLocalFile(files[i], bytes, error)) return context.fail(exit_code::kBadInput, error);
    if (bytes.size() < kReportHeaderSize || bytes.compare(0, sizeof kReportMagic - 1, kReportMagic) != 0)
      context.logger.warning(files[i] + " has no " + kReportMagic +
                             " header: stored, but it does not take part in the PCA modes");
    int result = context.db().uploadSurface(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str(),
                                            number, bytes.data(), static_cast<long>(bytes.size()));
    if (result != VLT_121::ResultCode::kSuccess)
      return context.failWithResult(result, "report " + std::to_string(number) + " of " + describe(surface) +
                                                " from " + files[i] + " was not stored");
    context.logger.progress("stored report " + std::to_string(number) + " from " + files[i] + " (" +
                            std::to_string(i + 1) + "/" + std::to_string(total) + ")");
  }
  return exit_code::kSuccess;
}

int uploadReports(Context& context, const ParsedArgs& args) {
  SurfaceArgs surface;
  int first = 0;
  if (int read = readSurfaceArgs(context, args, surface)) return read;
  if (int read = readNumber(context, "NUMBER", args.positionals[3], first)) return read;
  const std::vector<std::string> files(args.positionals.begin() + 4, args.positionals.end());
  for (const std::string& file : files)
    if (file != "-" && isDirectory(file)) return context.fail(exit_code::kBadInput, file + " is a directory");
  if (int loggedIn = context.session.login()) return loggedIn;
  // Reports stored below a missing solver would make plain folders on the way.
  if (int found = requireSolver(context, surface.model, surface.solver)) return found;

  const std::string modelPath = surface.model.full();
  const std::size_t total = files.size();
  int stored = withProgress(context.logger, [&] { return storeReports(context, surface, first, files); });
  if (stored != exit_code::kSuccess) return stored;
  int modes = context.db().getNrPcaModes(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str());
  std::printf("stored %zu report(s) of %s, numbers %d to %d; the surface has %d PCA mode(s)\n", total,
              describe(surface).c_str(), first, first + static_cast<int>(total) - 1, modes);
  return exit_code::kSuccess;
}

int showValues(Context& context, const ParsedArgs& args) {
  SurfaceArgs surface;
  int number = 0;
  if (int read = readSurfaceArgs(context, args, surface)) return read;
  if (int read = readNumber(context, "NUMBER", args.positionals[3], number)) return read;
  if (int loggedIn = context.session.login()) return loggedIn;
  const std::string modelPath = surface.model.full();
  RegisteredBuffer<double> values(context.db());
  int count = context.db().downloadSurfaceValues(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str(),
                                                 number, values.slot());
  if (values.get() == nullptr) {
    if (!context.db().isSurfaceUploaded(modelPath.c_str(), surface.solver.c_str(), number, surface.surface.c_str()))
      return context.fail(exit_code::kRefused, "no report " + std::to_string(number) + " of " + describe(surface));
    return context.fail(exit_code::kRefused,
                        "report " + std::to_string(number) + " of " + describe(surface) + " is not a surface report");
  }
  printNumbers(args, {{"number", number}}, "values", values.get(), count);
  return exit_code::kSuccess;
}

int showModes(Context& context, const ParsedArgs& args) {
  SurfaceArgs surface;
  if (int read = readSurfaceArgs(context, args, surface)) return read;
  const bool text = args.has("text");
  const bool count = args.has("count") || (!text && !args.has("output"));
  if (int loggedIn = context.session.login()) return loggedIn;
  const std::string modelPath = surface.model.full();
  RegisteredBuffer<char> modes(context.db());
  long size = 0;
  context.db().downloadPcaModes(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str(), modes.slot(), size);
  if (modes.get() == nullptr) return context.fail(exit_code::kRefused, "no PCA modes for " + describe(surface));
  const std::string content(modes.get(), static_cast<std::size_t>(size));
  const int nrModes = context.db().getNrPcaModes(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str());
  std::string error;
  if (args.has("json")) {
    nlohmann::json document = {{"count", nrModes}};
    if (text) document["text"] = content;
    printJson(document);
  } else {
    if (count) std::printf("%d\n", nrModes);
    if (text && !writeLocalFile("-", content, error)) return context.fail(VLT_121::ResultCode::kLocalNotMade, error);
  }
  if (args.has("output") && !writeLocalFile(args.value("output"), content, error))
    return context.fail(VLT_121::ResultCode::kLocalNotMade, error);
  return exit_code::kSuccess;
}

int showModeValues(Context& context, const ParsedArgs& args) {
  SurfaceArgs surface;
  int index = 0;
  if (int read = readSurfaceArgs(context, args, surface)) return read;
  if (int read = readNumber(context, "INDEX", args.positionals[3], index)) return read;
  if (int loggedIn = context.session.login()) return loggedIn;
  const std::string modelPath = surface.model.full();
  // The library gives the mode count; the component count N stands at the
  // start of the mode's line in the modes file.
  RegisteredBuffer<char> modes(context.db());
  long size = 0;
  context.db().downloadPcaModes(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str(), modes.slot(), size);
  if (modes.get() == nullptr) return context.fail(exit_code::kRefused, "no PCA modes for " + describe(surface));
  RegisteredBuffer<double> values(context.db());
  context.db().downloadPcaModeValues(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str(), index,
                                     values.slot());
  if (values.get() == nullptr) {
    int nrModes = context.db().getNrPcaModes(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str());
    return context.fail(exit_code::kRefused, "no PCA mode " + std::to_string(index) + " for " + describe(surface) +
                                                 " (it has " + std::to_string(nrModes) + " modes, counted from 0)");
  }
  const char* modeLine = std::strchr(modes.get(), '\n');
  int components = modeLine != nullptr ? std::atoi(modeLine + 1) : 0;
  printNumbers(args, {{"index", index}}, "values", values.get(), components);
  return exit_code::kSuccess;
}

int showAmplitudes(Context& context, const ParsedArgs& args) {
  SurfaceArgs surface;
  int number = 0;
  if (int read = readSurfaceArgs(context, args, surface)) return read;
  if (int read = readNumber(context, "NUMBER", args.positionals[3], number)) return read;
  if (int loggedIn = context.session.login()) return loggedIn;
  const std::string modelPath = surface.model.full();
  RegisteredBuffer<double> amplitudes(context.db());
  int count = context.db().getModalAmplitudes(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str(),
                                              number, amplitudes.slot());
  if (amplitudes.get() == nullptr)
    return context.fail(exit_code::kRefused, "no amplitudes for report " + std::to_string(number) + " of " +
                                                 describe(surface) +
                                                 ": the report is missing or not a surface report, or there are no "
                                                 "PCA modes");
  printNumbers(args, {{"number", number}}, "amplitudes", amplitudes.get(), count);
  return exit_code::kSuccess;
}

int clearModes(Context& context, const ParsedArgs& args) {
  SurfaceArgs surface;
  if (int read = readSurfaceArgs(context, args, surface)) return read;
  if (int loggedIn = context.session.login()) return loggedIn;
  if (int found = requireSolver(context, surface.model, surface.solver)) return found;
  context.db().clearPcaModes(surface.model.full().c_str(), surface.solver.c_str());
  std::printf("cleared the PCA modes of solver %s in %s\n", surface.solver.c_str(), surface.model.shown().c_str());
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
