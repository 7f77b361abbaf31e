#include "module_host.h"

#include <new>

std::unique_ptr<ModuleHost> ModuleHost::start(const std::vector<std::string>& candidates,
                                              const FsConfig* config, std::string* error) {
  std::unique_ptr<platform::Library> library;
  for (const std::string& path : candidates) {
    library = platform::Library::load(path.c_str());
    if (library != nullptr) break;
  }
  if (library == nullptr) {
    *error = "cannot load the module " + candidates.back() + " (nor one in ../lib)";
    return nullptr;
  }
  auto create = reinterpret_cast<CreateProviderFunction>(library->symbol("createProvider"));
  if (create == nullptr) {
    *error = "the module does not export createProvider";
    return nullptr;
  }
  FsProvider* provider = create(config);
  if (provider == nullptr) {
    *error = "the provider cannot be initialised";
    return nullptr;
  }
  std::unique_ptr<ModuleHost> host(new (std::nothrow) ModuleHost(std::move(library), provider));
  if (host == nullptr) {
    delete provider;
    *error = "out of memory";
  }
  return host;
}

ModuleHost::~ModuleHost() { delete provider_; }
