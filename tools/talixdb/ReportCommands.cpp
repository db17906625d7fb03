// talixdb report: surface reports of a solver and the PCA modes built from
// them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "CatalogueLookup.h"
#include "Command.h"
#include "ExitCodes.h"
#include "JsonOutput.h"
#include "LocalFiles.h"
#include "results/PcaModesFile.h"

namespace talixdb_cli {

namespace {

int uploadReports(Context& context, const ParsedArgs& args);
int showValues(Context& context, const ParsedArgs& args);
int showModes(Context& context, const ParsedArgs& args);
int showModeValues(Context& context, const ParsedArgs& args);
int showAmplitudes(Context& context, const ParsedArgs& args);
int clearModes(Context& context, const ParsedArgs& args);
int listReports(Context& context, const ParsedArgs& args);

const char kModesFormat[] =
    "The PCA modes file (the README's \"PCA modes file\"): line 1 holds the mode count M; then one\n"
    "line per mode: its component count N, its singular value (the mode's weight) and its N\n"
    "components, separated by TABs.\n";

}  // namespace

Family reportFamily() {
  return Family{
      "report",
      "Store surface reports and read values, PCA modes and modal amplitudes",
      {
          {"upload", "MODELPATH SOLVER SURFACE NUMBER FILE...",
           "Store report files numbered from NUMBER on, updating the surface's PCA modes", 5, -1,
           {{"replace", 0, "", "replace reports of these numbers that are stored already"}}, uploadReports,
           "A surface report starts with the 14 bytes \"TALIX_Report_2\", a zero byte and 25 more bytes;\n"
           "then the value count and one value per line. A file without that header is stored but\n"
           "does not take part in the PCA modes. SURFACE must be one the solver declares. A report\n"
           "number that is taken is refused, before anything is stored, unless --replace is\n"
           "given; the modes keep what a replaced report added to them.\n"},
          {"list", "MODELPATH SOLVER [SURFACE]", "List the surfaces of a solver with their reports and PCA modes", 2, 3,
           {kJsonOption}, listReports,
           "Shows each surface the solver declares, or SURFACE alone (also one the solver does not\n"
           "declare when it holds reports or PCA modes): the report numbers with their sizes in\n"
           "bytes, and the number of PCA modes. Every report is read once to list them.\n"
           "With --json: {\"surfaces\": [{\"name\": NAME, \"declared\": BOOL, \"modes\": M,\n"
           "\"reports\": [{\"number\": N, \"bytes\": SIZE}]}]}.\n"},
          {"values", "MODELPATH SOLVER SURFACE NUMBER", "Print the values of a stored report, one per line", 4, 4,
           {kJsonOption}, showValues, "With --json: {\"number\": NUMBER, \"values\": [X, ...]}.\n"},
          {"modes", "MODELPATH SOLVER SURFACE", "Print the PCA modes: each mode's singular value and share", 3, 3,
           {{"count", 0, "", "print the number of modes only"},
            {"text", 0, "", "print the PCA modes file"},
            {"output", 'o', "FILE", "write the PCA modes file to FILE"},
            kJsonOption},
           showModes,
           std::string("Without options: one line per mode with its singular value, its share of the sum of\n"
                       "the singular values and its share of their squares (the energy it holds).\n"
                       "With --json: {\"count\": M, \"components\": N, \"modes\": [{\"index\": I,\n"
                       "\"singularValue\": S, \"share\": S/SUM, \"energy\": S^2/SUM2}]}, and \"text\": the file\n"
                       "with --text.\n") +
               kModesFormat},
          {"mode-values", "MODELPATH SOLVER SURFACE INDEX", "Print the components of PCA mode INDEX (from 0)", 4, 4,
           {kJsonOption}, showModeValues, "With --json: {\"index\": INDEX, \"values\": [X, ...]}.\n"},
          {"amplitudes", "MODELPATH SOLVER SURFACE [NUMBER]", "Print a stored report's amplitude on each PCA mode",
           3, 4,
           {{"all", 0, "", "every report of the surface: a table of reports and modes"},
            {"csv", 0, "", "with --all: comma-separated values, a header line first"},
            kJsonOption},
           showAmplitudes,
           "With --json: {\"number\": NUMBER, \"amplitudes\": [X, ...]}, one amplitude per mode; with\n"
           "--all: {\"modes\": M, \"reports\": [{\"number\": N, \"amplitudes\": [X, ...]}]}. Reports\n"
           "without amplitudes (not surface reports, or of another length) are left out.\n"},
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

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// Reports of a surface the solver does not declare are stored by the library
// as well, in a surface of their own that nothing reads: a typo.
int requireDeclaredSurface(Context& context, const SurfaceArgs& surface, const VLT_121::CVLTModel& solver) {
  const std::vector<std::string> surfaces = declaredSurfaces(solver);
  for (const std::string& name : surfaces)
    if (name == surface.surface) return exit_code::kSuccess;
  return context.fail(exit_code::kRefused, "solver " + surface.solver + " in " + surface.model.shown() +
                                               " declares no surface " + surface.surface +
                                               (surfaces.empty() ? std::string(": it declares none")
                                                                 : ": its surfaces are " + joined(surfaces)));
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
  ModelPtr model;
  const VLT_121::CVLTModel* solver = nullptr;
  if (int found = findSolver(context, surface.model, surface.solver, model, solver)) return found;
  if (int declared = requireDeclaredSurface(context, surface, *solver)) return declared;
  const std::string modelPath = surface.model.full();
  const std::size_t total = files.size();
  if (!args.has("replace")) {
    std::string taken;
    for (std::size_t i = 0; i < total; ++i) {
      const int number = first + static_cast<int>(i);
      if (context.db().isSurfaceUploaded(modelPath.c_str(), surface.solver.c_str(), number, surface.surface.c_str()))
        taken += (taken.empty() ? "" : ", ") + std::to_string(number);
    }
    if (!taken.empty())
      return context.fail(exit_code::kRefused, "report(s) " + taken + " of " + describe(surface) +
                                                   " are stored already: give --replace to replace them, or other "
                                                   "numbers (\"talixdb report list\" shows those taken)");
  }
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

// One line per mode: index, singular value, its share of their sum and of
// the sum of their squares.
void printModeTable(const VLT_121::CPcaModes& modes) {
  double sum = 0, squares = 0;
  for (double weight : modes.m_vecWeights) sum += std::fabs(weight), squares += weight * weight;
  std::printf("%d PCA mode(s) of %d component(s)\n", modes.nrModes(), modes.m_iNrComponents);
  std::printf("mode  singular value          share    energy\n");
  for (int i = 0; i < modes.nrModes(); ++i) {
    const double weight = modes.m_vecWeights[static_cast<std::size_t>(i)];
    std::printf("%-4d  %-22.15g  %6.2f%%  %6.2f%%\n", i, weight, sum > 0 ? 100 * std::fabs(weight) / sum : 0.0,
                squares > 0 ? 100 * weight * weight / squares : 0.0);
  }
}

nlohmann::json modeList(const VLT_121::CPcaModes& modes) {
  double sum = 0, squares = 0;
  for (double weight : modes.m_vecWeights) sum += std::fabs(weight), squares += weight * weight;
  nlohmann::json list = nlohmann::json::array();
  for (int i = 0; i < modes.nrModes(); ++i) {
    const double weight = modes.m_vecWeights[static_cast<std::size_t>(i)];
    list.push_back({{"index", i},
                    {"singularValue", weight},
                    {"share", sum > 0 ? std::fabs(weight) / sum : 0.0},
                    {"energy", squares > 0 ? weight * weight / squares : 0.0}});
  }
  return list;
}

int showModes(Context& context, const ParsedArgs& args) {
  SurfaceArgs surface;
  if (int read = readSurfaceArgs(context, args, surface)) return read;
  const bool text = args.has("text");
  const bool countOnly = args.has("count");
  const bool table = !countOnly && !text && !args.has("output");
  if (int loggedIn = context.session.login()) return loggedIn;
  const std::string modelPath = surface.model.full();
  RegisteredBuffer<char> modes(context.db());
  long size = 0;
  context.db().downloadPcaModes(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str(), modes.slot(), size);
  if (modes.get() == nullptr) return context.fail(exit_code::kRefused, "no PCA modes for " + describe(surface));
  const std::string content(modes.get(), static_cast<std::size_t>(size));
  const int nrModes = context.db().getNrPcaModes(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str());
  VLT_121::CPcaModes parsed;
  const bool readable = VLT_121::parsePcaModes(content, parsed);
  if ((table || args.has("json")) && !readable)
    return context.fail(exit_code::kRefused, "the PCA modes file of " + describe(surface) + " cannot be read");
  std::string error;
  if (args.has("json")) {
    nlohmann::json document = {{"count", nrModes}, {"components", parsed.m_iNrComponents}, {"modes", modeList(parsed)}};
    if (text) document["text"] = content;
    printJson(document);
  } else {
    if (countOnly) std::printf("%d\n", nrModes);
    if (table) printModeTable(parsed);
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

// The report numbers of surface `name`, ascending. 0, or the failure with a
// message: the library's listing reads an unreadable one as empty, so only
// a lost connection is told.
int readReportNumbers(Context& context, const SurfaceArgs& surface, const std::string& name,
                      std::vector<int>& numbers) {
  VLT_121::CVLTDatabase& db = context.db();
  if (!db.downloadReportNumbers(surface.model.full().c_str(), surface.solver.c_str(), name.c_str())) {
    const std::string why = db.getLastErrorText();
    if (int status = connectionFailureStatus(why)) return context.fail(status, why);
  }
  numbers.clear();
  for (int i = 0; i < db.getNrDownloadedReportNumbers(); ++i) numbers.push_back(db.getDownloadedReportNumber(i));
  return exit_code::kSuccess;
}

// The amplitudes of one report; empty when it has none.
std::vector<double> amplitudesOf(Context& context, const SurfaceArgs& surface, int number) {
  const std::string modelPath = surface.model.full();
  RegisteredBuffer<double> amplitudes(context.db());
  const int count = context.db().getModalAmplitudes(modelPath.c_str(), surface.solver.c_str(),
                                                    surface.surface.c_str(), number, amplitudes.slot());
  if (amplitudes.get() == nullptr) return {};
  return std::vector<double>(amplitudes.get(), amplitudes.get() + (count > 0 ? count : 0));
}

// Every report of the surface against every mode.
int showAllAmplitudes(Context& context, const ParsedArgs& args, const SurfaceArgs& surface) {
  const std::string modelPath = surface.model.full();
  RegisteredBuffer<char> modesFile(context.db());
  long size = 0;
  context.db().downloadPcaModes(modelPath.c_str(), surface.solver.c_str(), surface.surface.c_str(),
                                modesFile.slot(), size);
  if (modesFile.get() == nullptr) return context.fail(exit_code::kRefused, "no PCA modes for " + describe(surface));
  const int modes = VLT_121::readPcaModeCount(std::string_view(modesFile.get(), static_cast<std::size_t>(size)));
  std::vector<int> numbers;
  if (int read = readReportNumbers(context, surface, surface.surface, numbers)) return read;
  std::vector<std::pair<int, std::vector<double>>> rows;
  for (int number : numbers) {
    std::vector<double> amplitudes = amplitudesOf(context, surface, number);
    if (!amplitudes.empty()) rows.emplace_back(number, std::move(amplitudes));
  }
  if (args.has("json")) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& [number, amplitudes] : rows) list.push_back({{"number", number}, {"amplitudes", amplitudes}});
    printJson({{"modes", modes}, {"reports", list}});
    return exit_code::kSuccess;
  }
  const bool csv = args.has("csv");
  std::printf(csv ? "report" : "    report");
  for (int i = 0; i < modes; ++i) {
    const std::string heading = "mode " + std::to_string(i);
    std::printf(csv ? ",%s" : "  %22s", heading.c_str());
  }
  std::printf("\n");
  for (const auto& [number, amplitudes] : rows) {
    std::printf(csv ? "%d" : "%10d", number);
    for (double value : amplitudes) std::printf(csv ? ",%.15g" : "  %22.15g", value);
    std::printf("\n");
  }
  return exit_code::kSuccess;
}

int showAmplitudes(Context& context, const ParsedArgs& args) {
  SurfaceArgs surface;
  int number = 0;
  if (int read = readSurfaceArgs(context, args, surface)) return read;
  const bool all = args.has("all");
  if (all == (args.positionals.size() > 3))
    return context.fail(exit_code::kUsage, "give NUMBER or --all, not both or neither");
  if (args.has("csv") && (!all || args.has("json")))
    return context.fail(exit_code::kUsage, "--csv goes with --all, and not with --json");
  if (!all) {
    if (int read = readNumber(context, "NUMBER", args.positionals[3], number)) return read;
  }
  if (int loggedIn = context.session.login()) return loggedIn;
  if (all) return showAllAmplitudes(context, args, surface);
  const std::vector<double> amplitudes = amplitudesOf(context, surface, number);
  if (amplitudes.empty())
    return context.fail(exit_code::kRefused, "no amplitudes for report " + std::to_string(number) + " of " +
                                                 describe(surface) +
                                                 ": the report is missing or not a surface report, or there are no "
                                                 "PCA modes");
  printNumbers(args, {{"number", number}}, "amplitudes", amplitudes.data(), static_cast<int>(amplitudes.size()));
  return exit_code::kSuccess;
}

int listReports(Context& context, const ParsedArgs& args) {
  SurfaceArgs surface;
  if (int read = readSurfaceArgs(context, args, surface)) return read;
  if (int loggedIn = context.session.login()) return loggedIn;
  ModelPtr model;
  const VLT_121::CVLTModel* solver = nullptr;
  if (int found = findSolver(context, surface.model, surface.solver, model, solver)) return found;
  // The server lists reports by surface name: the declared surfaces, in
  // their order, or the one named.
  std::vector<std::string> names = declaredSurfaces(*solver);
  const bool declared =
      surface.surface.empty() || std::find(names.begin(), names.end(), surface.surface) != names.end();
  if (!surface.surface.empty()) names = {surface.surface};
  const std::string modelPath = surface.model.full();
  nlohmann::json list = nlohmann::json::array();
  for (const std::string& name : names) {
    std::vector<int> numbers;
    if (int read = readReportNumbers(context, surface, name, numbers)) return read;
    const int modes = context.db().getNrPcaModes(modelPath.c_str(), surface.solver.c_str(), name.c_str());
    if (!declared && numbers.empty() && modes == 0) return requireDeclaredSurface(context, surface, *solver);
    nlohmann::json reports = nlohmann::json::array();
    for (int number : numbers) {
      RegisteredBuffer<char> report(context.db());
      const long bytes =
          context.db().downloadSurface(modelPath.c_str(), surface.solver.c_str(), number, name.c_str(), report.slot());
      reports.push_back({{"number", number}, {"bytes", bytes}});
    }
    list.push_back({{"name", name}, {"declared", declared}, {"modes", modes}, {"reports", reports}});
  }
  if (args.has("json")) {
    printJson({{"surfaces", list}});
    return exit_code::kSuccess;
  }
  for (const nlohmann::json& entry : list) {
    std::printf("surface %s%s: %zu report(s), %d PCA mode(s)\n", entry["name"].get<std::string>().c_str(),
                entry["declared"].get<bool>() ? "" : " (not declared)", entry["reports"].size(),
                entry["modes"].get<int>());
    for (const nlohmann::json& report : entry["reports"])
      std::printf("  report %-10d %ld bytes\n", report["number"].get<int>(), report["bytes"].get<long>());
  }
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
