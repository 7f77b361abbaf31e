#include "query/query_lists.h"

#include "paths/drivehelper.h"
#include "paths/scanlists.h"

namespace {

// Pruning by the query's file systems and exclusions, the drive-level paths, and the drive list
// freed of duplicates.
void pruneDrives(const FsQuery& query, DriveHelper* drives, QueryLists* lists) {
  lists->usableDrives.clear();
  drives->fileSystemDriveListPruning(&lists->allDrives, &lists->usableDrives,
                                     query.includedFileSystems(), query.excludedFileSystems(),
                                     query.excludedPaths());
  PathList allPaths;
  drivesToPaths(lists->allDrives, &allPaths);
  lists->driveIncludes.clear();
  drivesToPaths(lists->usableDrives, &lists->driveIncludes);
  lists->driveExcludes.clear();
  subtractPaths(allPaths, lists->driveIncludes, &lists->driveExcludes);

  DriveList ordered;
  drives->selectDrives(lists->allDrives, mdRemoteDriveGroup, &ordered);
  drives->selectDrives(lists->allDrives, mdOtherDriveGroup, &ordered);
  drives->selectDrives(lists->allDrives, mdLocalDriveGroup, &ordered);
  drives->appendDriveList(ordered, &lists->allDrives, true);
}

// Resolution of the query's paths and the lists derived from it.
void resolvePaths(const FsQuery& query, QueryLists* lists) {
  PathHelper paths;
  paths.pathResolver(query.includedPaths(), lists->usableDrives, lists->driveIncludes,
                     lists->driveExcludes, &lists->includeParents, &lists->includes,
                     &lists->includeExcluded, &lists->includeUnresolved);
  paths.pathResolver(query.excludedPaths(), lists->usableDrives, lists->driveIncludes,
                     lists->driveExcludes, &lists->exclusionParents, &lists->exclusions,
                     &lists->exclusionExcluded, &lists->exclusionUnresolved);
  lists->scanList.clear();
  collapseScanPaths(lists->includeParents, &lists->scanList);
  lists->localIncludes.clear();
  lists->localExcludes.clear();
  lists->remoteIncludes.clear();
  selectPathsByDriveType(lists->includes, mdLocalDriveGroup, &lists->localIncludes);
  selectPathsByDriveType(lists->exclusions, mdLocalDriveGroup, &lists->localExcludes);
  selectPathsByDriveType(lists->includes, mdRemoteDriveGroup, &lists->remoteIncludes);
  selectPathsByDriveType(lists->includes, mdOtherDriveGroup, &lists->remoteIncludes);
}

}  // namespace

void prepareQueryLists(const FsQuery& query, QueryLists* lists) {
  DriveHelper drives;
  drives.setDriveOption(query.driveOption());
  lists->allDrives.clear();
  drives.buildDriveList(&lists->allDrives, mdAllDriveGroup);
  pruneDrives(query, &drives, lists);
  resolvePaths(query, lists);
}

void prepareExtendedQueryLists(const FsQuery& query, QueryLists* lists) {
  DriveHelper drives;
  drives.setDriveOption(query.driveOption());
  if (!lists->drivesListed) {
    lists->drivesListed = true;
    lists->allDrives.clear();
    drives.buildDriveList(&lists->allDrives, mdAllDriveGroup);
    PathList allPaths;
    drivesToPaths(lists->allDrives, &allPaths);
    lists->usableDrives = lists->allDrives;
    lists->driveIncludes = allPaths;
    lists->driveExcludes.clear();
  }
  if (query.includedPaths() == lists->queryIncludes &&
      query.excludedPaths() == lists->queryExcludes &&
      query.includedFileSystems() == lists->queryIncludedFileSystems &&
      query.excludedFileSystems() == lists->queryExcludedFileSystems) {
    return;
  }
  lists->queryIncludes = query.includedPaths();
  lists->queryExcludes = query.excludedPaths();
  lists->queryIncludedFileSystems = query.includedFileSystems();
  lists->queryExcludedFileSystems = query.excludedFileSystems();
  pruneDrives(query, &drives, lists);
  resolvePaths(query, lists);
}

PathList remoteExclusions(const QueryLists& lists) {
  PathList out;
  selectPathsByDriveType(lists.exclusions, mdRemoteDriveGroup, &out);
  selectPathsByDriveType(lists.exclusions, mdOtherDriveGroup, &out);
  return out;
}
