// fsquery: the reference host. Loads the provider module as the host engine does (or, with
// --cache-only, keeps the cache itself), runs one query from the command line (or, with --batch,
// one per line of standard input) and prints every match. Exit status: the host result (0 ok, 1
// failed, 2 timed out or busy), 64 for a bad command line; a failure is explained on standard
// error.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "FsProvider.h"
#include "batch.h"
#include "cache_only_host.h"
#include "command_line.h"
#include "failure_reason.h"
#include "install_layout.h"
#include "module_host.h"
#include "platform/platform.h"
#include "progress.h"
#include "query_paths.h"
#include "result_sink.h"

namespace {

constexpr int kExitUsage = 64;
constexpr int32_t kChecksumsWantedLevel = 32;
constexpr size_t kOutputBufferSize = 1 << 16;

int fail(const std::string& message, int status = HOST_FAILED) {
  std::fprintf(stderr, "fsquery: %s\n", message.c_str());
  return status;
}

std::string narrow(const std::u16string& text) { return toOutputPath(text, false); }

std::string narrowDrivePath(const std::u16string& text) { return toOutputPath(text, true); }

void configure(const QueryRequest& request, const InstallLayout& layout, HostConfig* config) {
  config->set("fscanner.provider_monitor", "home", narrowDrivePath(layout.cacheHome));
  config->set("fscanner", "home", narrowDrivePath(layout.binDir));
  if (!request.drives.empty()) config->set("fscanner.provider_monitor", "drives", request.drives);
}

int stopMonitor(const InstallLayout& layout, HostConfig* config) {
  std::string error;
  std::unique_ptr<ModuleHost> host = ModuleHost::start(layout.moduleCandidates, config, &error);
  if (host == nullptr) return fail(error);
  if (host->provider()->shutdown(config) != 1) {
    return fail("the monitor of " + narrow(layout.cacheHome) + " could not be told to stop");
  }
  return HOST_OK;
}

// Runs request through provider (null: the cache-only host) and writes its matches; a failure is
// explained on standard error. Returns the host result.
int answerQuery(QueryRequest& request, FsProvider* provider, const InstallLayout& layout,
                HostConfig* config, bool inBatch, uint64_t* matches) {
  const bool interactive = platform::isTerminal(platform::StandardStream::kOutput);
  OutputWriter writer(stdout, request.output, interactive);
  ResultSink sink(&writer);
  FailureWatch watch;
  // The results on a terminal show the progress themselves, unless only their number is wanted.
  const bool showProgress = !request.quiet && !inBatch &&
                            platform::isTerminal(platform::StandardStream::kError) &&
                            (!interactive || request.output.format == OutputFormat::kCount);
  ProgressLine progress(stderr, &sink, showProgress);

  int internalCode = 0;
  int answer = HOST_FAILED;
  if (provider == nullptr) {
    internalCode = runCacheOnlyQuery(layout.cacheHome, config->cacheOptions, &sink, &request.query,
                                     request.age, request.timeout, request.extended);
    answer = toHostResult(internalCode);
  } else {
    answer = request.extended
                 ? provider->executeQueryEx(&sink, &request.query, request.age, request.timeout)
                 : provider->executeQuery(&sink, &request.query, request.age, request.timeout);
  }
  progress.stop();
  watch.stopWatching();
  const bool written = writer.finish();
  *matches = sink.found();
  if (answer != HOST_OK) {
    return fail(describeFailure(watch.facts(), internalCode, narrow(layout.cacheHome),
                                narrow(layout.binDir)),
                answer);
  }
  return written ? HOST_OK : fail("cannot write the results");
}

// One query from the command line, or with --batch every query from standard input, all through
// one provider.
int runQueries(QueryRequest& request, const InstallLayout& layout, HostConfig* config) {
  if (!platform::isTerminal(platform::StandardStream::kOutput)) {
    std::setvbuf(stdout, nullptr, _IOFBF, kOutputBufferSize);
  }
  std::unique_ptr<ModuleHost> host;
  if (!request.cacheOnly) {
    std::string error;
    host = ModuleHost::start(layout.moduleCandidates, config, &error);
    if (host == nullptr) return fail(error);
  }
  FsProvider* provider = host != nullptr ? host->provider() : nullptr;
  uint64_t matches = 0;
  if (!request.batch) return answerQuery(request, provider, layout, config, false, &matches);
  return runBatch(stdin, stdout, [&](QueryRequest& line, uint64_t* found) {
    return answerQuery(line, provider, layout, config, true, found);
  });
}

int run(int argc, char** argv) {
  QueryRequest request;
  std::string error;
  if (!parseCommandLine(argc, argv, &request, &error)) {
    return fail(error + " (see fsquery --help)", kExitUsage);
  }
  if (request.showHelp) {
    std::fputs(kUsage, stdout);
    return HOST_OK;
  }
  InstallLayout layout;
  if (!findInstallLayout(request.home, &layout, &error)) return fail(error);
  if (!request.cacheOnly && layout.binDir.empty()) return fail(layout.binDirProblem);

  FsCacheOptions options;
  if (request.checksums) options.level = kChecksumsWantedLevel;
  if (request.checksumFilter.active != 0) options.checksumFilter = &request.checksumFilter;
  HostConfig config;
  config.cacheOptions = &options;
  configure(request, layout, &config);
  return request.shutdownMonitor ? stopMonitor(layout, &config)
                                 : runQueries(request, layout, &config);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& exception) {
    return fail(std::string("stopped: ") + exception.what());
  }
}
