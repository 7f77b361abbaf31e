#include "query/query_walk.h"

#include "walk/fsbuild.h"

int walkScanPath(FsResults* results, const FsQuery& query, const ResolvedPath& scanPath,
                 const PathList& includes, const PathList& exclusions,
                 const ChecksumFilter* checksumFilter) {
  FsScanFilter filter(query.criteria().c_str(), query.caseSensitive());
  if (checksumFilter != nullptr && !checksumFilter->isEmpty()) {
    filter.setOptions(filter.options() | FsScanFilter::kOptionMd5 | FsScanFilter::kOptionCrc32 |
                      FsScanFilter::kOptionQ32);
    filter.setChecksumFilter(checksumFilter);
  }
  return fs_build(results, &filter, scanPath, includes, exclusions, query.caseSensitive(),
                  kWalkDefaultBudgetMs);
}
