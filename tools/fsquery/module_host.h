// The module as the host engine uses it: loaded at run time, one provider made through
// createProvider, queries and the monitor's shutdown through FsProvider's virtual operations.
#ifndef FSCANNER_TOOLS_FSQUERY_MODULE_HOST_H
#define FSCANNER_TOOLS_FSQUERY_MODULE_HOST_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FsProvider.h"
#include "platform/platform.h"

class ModuleHost {
 public:
  // Loads the first candidate that loads and makes its provider from config (which must outlive
  // the host). Null with a one-line reason in *error.
  static std::unique_ptr<ModuleHost> start(const std::vector<std::string>& candidates,
                                           const FsConfig* config, std::string* error);
  ~ModuleHost();  // destroys the provider before the module is unloaded
  ModuleHost(const ModuleHost&) = delete;
  ModuleHost& operator=(const ModuleHost&) = delete;

  FsProvider* provider() const { return provider_; }

 private:
  ModuleHost(std::unique_ptr<platform::Library> library, FsProvider* provider)
      : library_(std::move(library)), provider_(provider) {}

  std::unique_ptr<platform::Library> library_;
  FsProvider* provider_;  // owned; made by the module, destroyed through its virtual destructor
};

#endif  // FSCANNER_TOOLS_FSQUERY_MODULE_HOST_H
