// fsquery: loads the provider module like the host engine does, runs one query from the command
// line and prints every match, then the host result (0 ok, 1 failed, 2 timed out or busy).
#include <cstdio>
#include <memory>
#include <string>

#include "FsProvider.h"
#include "command_line.h"
#include "platform/platform.h"

namespace {

const char* describe(int hostResult) {
  switch (hostResult) {
    case HOST_OK:
      return "ok";
    case HOST_TIMED_OUT:
      return "timed out or busy";
    default:
      return "failed";
  }
}

// The module next to this program unless --module names another.
std::string defaultModulePath(const char* argv0) {
  std::string program(argv0);
  size_t slash = program.find_last_of("/\\");
  std::string directory = slash == std::string::npos ? "." : program.substr(0, slash);
  return directory + "/" + FSQUERY_DEFAULT_MODULE;
}

}  // namespace

int main(int argc, char** argv) {
  QueryRequest request;
  std::string error;
  if (!parseCommandLine(argc, argv, &request, &error)) {
    std::fprintf(stderr, "fsquery: %s\n%s", error.c_str(), kUsage);
    return 64;
  }
  if (request.showHelp) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (request.modulePath.empty()) request.modulePath = defaultModulePath(argv[0]);

  std::unique_ptr<platform::Library> module = platform::Library::load(request.modulePath.c_str());
  if (module == nullptr) {
    std::fprintf(stderr, "fsquery: cannot load %s (error %u)\n", request.modulePath.c_str(),
                 platform::lastError());
    return 69;
  }
  auto create = reinterpret_cast<CreateProviderFunction>(module->symbol("createProvider"));
  if (create == nullptr) {
    std::fprintf(stderr, "fsquery: %s does not export createProvider\n",
                 request.modulePath.c_str());
    return 69;
  }
  FsCacheOptions options;
  request.config.cacheOptions = &options;
  FsProvider* provider = create(&request.config);
  if (provider == nullptr) {
    std::fprintf(stderr, "fsquery: the provider cannot be initialised\n");
    return 69;
  }

  PrintingResults results(stdout);
  int answer =
      request.extended
          ? provider->executeQueryEx(&results, &request.query, request.age, request.timeout)
          : provider->executeQuery(&results, &request.query, request.age, request.timeout);
  if (request.shutdownMonitor) provider->shutdown(&request.config);
  delete provider;
  std::fflush(stdout);
  std::fprintf(stderr, "fsquery: %llu match(es), result %d (%s)\n",
               static_cast<unsigned long long>(results.count()), answer, describe(answer));
  return answer;
}
