// The exported abstract provider: no state, so copying copies nothing.
#include "FsProvider.h"

FsProvider::FsProvider() = default;
FsProvider::FsProvider(const FsProvider&) {}
FsProvider& FsProvider::operator=(const FsProvider&) { return *this; }
FsProvider::~FsProvider() = default;
int FsProvider::shutdown(const FsConfig*) { return 0; }
int FsProvider::reset(const FsConfig*) { return 0; }
