// PathHelper::pathResolver: query paths into drive-qualified paths bound to their drives.
//
// Syntax of one path: [media "::"] [drive] rest, where media is $local (the default), $remote,
// $other or $all; the drive is a letter (C:), a wildcard drive (?: or *:, also implied by a rest
// without drive that does not start with '\'), or a media drive ($remote: and so on); and the rest
// starts with '\', '*' or '?'. Shell-folder tokens are expanded first.
#include <cstdlib>
#include <memory>
#include <string>

#include "base/trace_as.h"
#include "base/wstring.h"
#include "paths/drivehelper.h"
#include "paths/pathhelper.h"
#include "platform/platform.h"

// Every message of the resolution carries the function name pathResolver.
#define RESOLVER_TRACE(logger, ...) FS_TRACE_AS(logger, "pathResolver", __VA_ARGS__)

namespace {

struct MediaWord {
  const char16_t* word;
  uint32_t mask;
};

constexpr char16_t kDefaultMedia[] = u"$local";
constexpr MediaWord kMediaWords[] = {
    {u"$local", mdLocalDriveGroup},
    {u"$remote", mdRemoteDriveGroup},
    {u"$all", mdAllDriveGroup},
    {u"$other", mdOtherDriveGroup},
};
constexpr MediaWord kMediaDrives[] = {
    {u"$local:", mdLocalDriveGroup},
    {u"$remote:", mdRemoteDriveGroup},
    {u"$all:", mdAllDriveGroup},
    {u"$other:", mdOtherDriveGroup},
};
// The order in which the outputs group their entries.
constexpr uint32_t kOutputTypeOrder[] = {DT_REMOVABLE, DT_FIXED, DT_REMOTE, DT_CDROM, DT_RAMDISK};

// The mask of a media word or media drive (without regard to case); 0 for an unknown one.
template <size_t N>
uint32_t mediaMask(const MediaWord (&table)[N], const std::u16string& word) {
  for (const MediaWord& media : table) {
    if (wcsICompare(media.word, word.c_str()) == 0) return media.mask;
  }
  return 0;
}

bool fitsPathBuffer(const std::u16string& path) { return path.size() < platform::kMaxPath; }

// A rest that a drive may carry: starts with '*', '?' or '\' and holds none of : " > < |.
bool isValidRest(const std::u16string& rest) {
  if (rest.empty() || (rest[0] != u'*' && rest[0] != u'?' && rest[0] != u'\\')) return false;
  return rest.find_first_of(u":\"><|") == std::u16string::npos;
}

// Resolves one path entry into the three working lists of pathResolver.
class EntryResolver {
 public:
  EntryResolver(PathHelper* helper, ZrLogWrapper* logger, const DriveList& drives,
                ResolvedPathList* parents, ResolvedPathList* paths, ResolvedPathList* unresolved)
      : helper_(helper),
        logger_(logger),
        drives_(drives),
        parents_(parents),
        paths_(paths),
        unresolved_(unresolved) {}

  void resolve(const PathEntry& entry) {
    recursive_ = entry.recursive();
    char16_t expanded[platform::kMaxPath] = {};
    if (helper_->expandFolderTokens(entry.path(), expanded, platform::kMaxPath) != 0) return;

    std::u16string media = kDefaultMedia;
    path_ = expanded;
    const char16_t* separator = wcsFind(expanded, u"::");
    if (separator != nullptr) {
      media.assign(expanded, static_cast<size_t>(separator - expanded));
      path_ = separator + 2;
    }
    RESOLVER_TRACE(logger_, "PathHelper::pathResolver - media: %S, pathName: %S, recursive: %s\n",
                   media.c_str(), path_.c_str(), recursive_ ? "true" : "false");
    mediaMask_ = mediaMask(kMediaWords, media);
    if (mediaMask_ == 0) {
      RESOLVER_TRACE(logger_, "PathHelper::pathResolver - media type [%S] not supported!\n",
                     media.c_str());
      return leaveUnresolved();
    }

    const size_t colon = path_.find(u':');
    std::u16string drive = colon == std::u16string::npos ? u"" : path_.substr(0, colon + 1);
    std::u16string rest = colon == std::u16string::npos ? path_ : path_.substr(colon + 1);
    makeRestAbsolute(drive, &rest);

    if (!drive.empty() && drive[0] == u'$') return resolveMediaDrive(drive, rest);
    if (!isValidRest(rest)) return leaveUnresolved();
    if (drive.empty() && !defaultDrive(rest, &drive)) return leaveUnresolved();
    RESOLVER_TRACE(logger_, "PathHelper::pathResolver - drive is '%S'\n", drive.c_str());
    const std::u16string path = drive + rest;
    if (!fitsPathBuffer(path)) {
      refuseLongPath(path);
      return leaveUnresolved();
    }
    if (drive == u"?:" || drive == u"*:") return resolveOnEveryDrive(path);
    resolveOnDrive(path);
  }

 private:
  // The absolute form of the rest, unless it holds wildcards (kept as written) or its absolute
  // form does not fit a path buffer together with the drive (left unchanged).
  void makeRestAbsolute(const std::u16string& drive, std::u16string* rest) {
    std::unique_ptr<char16_t, decltype(&std::free)> real(nullptr, &std::free);
    if (hasWildcards(rest->c_str())) {
      real.reset(wcsDuplicate(rest->c_str()));
    } else {
      real.reset(helper_->realPath(rest->c_str()));
    }
    if (real != nullptr) {
      const char16_t* realColon = wcsFind(real.get(), u":");
      std::u16string realRest = realColon != nullptr ? realColon + 1 : real.get();
      if (fitsPathBuffer(drive + realRest)) {
        RESOLVER_TRACE(logger_, "PathHelper::pathResolver - real pathName is: %S\n", real.get());
        *rest = realRest;
        path_ = drive + realRest;
      }
    }
    RESOLVER_TRACE(logger_, "PathHelper::pathResolver - pathName without driver: %S\n",
                   rest->c_str());
  }

  // The drive of a rest written without one: the current directory's drive for a rest that starts
  // at a root, else the wildcard drive.
  bool defaultDrive(const std::u16string& rest, std::u16string* drive) {
    if (rest[0] != u'\\') {
      *drive = u"?:";
      return true;
    }
    char16_t current[platform::kMaxPath] = {};
    const char16_t* colon = nullptr;
    if (platform::fullPath(current, u".", platform::kMaxPath) != nullptr) {
      colon = wcsFind(current, u":");
    }
    if (colon == nullptr) {
      RESOLVER_TRACE(logger_, "PathHelper::pathResolver - current drive not found!\n");
      return false;
    }
    drive->assign(current, static_cast<size_t>(colon - current) + 1);
    return true;
  }

  // An explicit drive letter: the drive must be in the list and in the media group.
  void resolveOnDrive(const std::u16string& path) {
    char16_t parent[platform::kMaxPath] = {};
    const char16_t* colon = nullptr;
    if (helper_->wildcardParent(path.c_str(), parent)) colon = wcsFind(parent, u":");
    if (colon == nullptr) return leaveUnresolved();
    const std::u16string parentDrive(parent, static_cast<size_t>(colon - parent) + 1);
    const int index = findDrive(drives_, parentDrive.c_str());
    if (index < 0 || !helper_->isValidPath(drives_, mediaMask_, path.c_str())) {
      return leaveUnresolved();
    }
    add(path, parent, drives_[index]);
  }

  // A wildcard drive: the path on every drive of the media group.
  void resolveOnEveryDrive(const std::u16string& searchPath) {
    RESOLVER_TRACE(logger_, "PathHelper::pathResolver - searchPath is '%S'\n", searchPath.c_str());
    bool produced = false;
    for (size_t i = 0; i < drives_.size(); ++i) {
      const DriveEntry& drive = drives_[i];
      RESOLVER_TRACE(logger_, "PathHelper::pathResolver - driveList[%d] is '%S'\n",
                     static_cast<int>(i), drive.drive());
      const char16_t* name = drive.drive();
      const char16_t* colon = name != nullptr ? wcsFind(name, u":") : nullptr;
      if ((drive.type() & mediaMask_) == 0 || colon == nullptr) continue;
      const std::u16string candidate = std::u16string(name, static_cast<size_t>(colon - name)) +
                                       searchPath.substr(searchPath.find(u':'));
      produced |= addCandidate(candidate, mediaMask_, drive);
    }
    if (!produced) leaveUnresolved();
  }

  // A media drive ($remote: and the like): the rest on every drive of both media groups.
  void resolveMediaDrive(const std::u16string& mediaDrive, const std::u16string& rest) {
    const uint32_t driveMask = mediaMask(kMediaDrives, mediaDrive);
    if (driveMask == 0) {
      RESOLVER_TRACE(logger_, "PathHelper::pathResolver - drive type [%S] not supported!\n",
                     mediaDrive.c_str());
      return leaveUnresolved();
    }
    RESOLVER_TRACE(logger_, "PathHelper::pathResolver - '%S' received on path: %S\n",
                   mediaDrive.c_str(), rest.c_str());
    if (!isValidRest(rest)) return leaveUnresolved();
    bool produced = false;
    for (const DriveEntry& drive : drives_) {
      if ((drive.type() & driveMask & mediaMask_) == 0 || drive.drive() == nullptr) continue;
      produced |= addCandidate(joinWithBackslash(drive.drive(), rest), mdAllDriveGroup, drive);
    }
    if (!produced) leaveUnresolved();
  }

  static std::u16string joinWithBackslash(const std::u16string& drive, const std::u16string& rest) {
    const bool driveEnds = !drive.empty() && drive.back() == u'\\';
    const bool restStarts = !rest.empty() && rest[0] == u'\\';
    if (driveEnds && restStarts) return drive + rest.substr(1);
    if (!driveEnds && !restStarts) return drive + u"\\" + rest;
    return drive + rest;
  }

  // Adds candidate and its parent on drive when the candidate lies on a drive of mask.
  bool addCandidate(const std::u16string& candidate, uint32_t mask, const DriveEntry& drive) {
    if (!fitsPathBuffer(candidate)) {
      refuseLongPath(candidate);
      return false;
    }
    char16_t parent[platform::kMaxPath] = {};
    if (!helper_->wildcardParent(candidate.c_str(), parent)) return false;
    if (!helper_->isValidPath(drives_, mask, candidate.c_str())) return false;
    add(candidate, parent, drive);
    return true;
  }

  // The parent is walked recursively when the path holds wildcards: the pattern may match at any
  // depth below it.
  void add(const std::u16string& path, const char16_t* parent, const DriveEntry& drive) {
    const bool parentRecursive = hasWildcards(path.c_str()) || recursive_;
    addUnlessPresent(parents_, ResolvedPath{PathEntry(parent, parentRecursive), drive});
    addUnlessPresent(paths_, ResolvedPath{PathEntry(path.c_str(), recursive_), drive});
  }

  static void addUnlessPresent(ResolvedPathList* list, ResolvedPath entry) {
    for (const ResolvedPath& present : *list) {
      if (sameEntry(present, entry)) return;
    }
    list->push_back(std::move(entry));
  }

  void refuseLongPath(const std::u16string& path) {
    RESOLVER_TRACE(logger_, "PathHelper::pathResolver - path too long: %S\n", path.c_str());
  }

  void leaveUnresolved() {
    unresolved_->push_back(ResolvedPath{PathEntry(path_.c_str(), recursive_), DriveEntry()});
  }

  PathHelper* helper_;
  ZrLogWrapper* logger_;
  const DriveList& drives_;
  ResolvedPathList* parents_;
  ResolvedPathList* paths_;
  ResolvedPathList* unresolved_;
  // The entry being resolved: its recursive flag, media mask and path as far as it got.
  bool recursive_ = false;
  uint32_t mediaMask_ = 0;
  std::u16string path_;
};

void traceList(ZrLogWrapper* logger, const char* format, const ResolvedPathList& list) {
  for (const ResolvedPath& entry : list) {
    RESOLVER_TRACE(logger, format, entry.path.path(), static_cast<int>(entry.drive.type()),
                   entry.drive.fileSystem());
  }
}

}  // namespace

bool PathHelper::pathResolver(const PathList& paths, const DriveList& drives,
                              const PathList& driveIncludes, const PathList& driveExcludes,
                              ResolvedPathList* parentResolved, ResolvedPathList* resolved,
                              ResolvedPathList* excluded, ResolvedPathList* unresolved) {
  for (ResolvedPathList* output : {parentResolved, resolved, excluded, unresolved}) {
    if (output != nullptr) output->clear();
  }
  FS_TRACE_ENTRY(logger_, "PathHelper::pathResolver - entering... [pathList size is %d]\n",
                 static_cast<int>(paths.size()));
  ResolvedPathList parentList;
  ResolvedPathList pathList;
  ResolvedPathList unresolvedList;
  EntryResolver resolver(this, logger_, drives, &parentList, &pathList, &unresolvedList);
  for (const PathEntry& entry : paths) resolver.resolve(entry);

  const auto onDriveOfType = [&](const ResolvedPath& entry, uint32_t type) {
    return isValidPath(drives, type, entry.path.path());
  };
  const auto included = [&](const ResolvedPath& entry) {
    return isPathIncluded(entry.path.path(), driveIncludes, driveExcludes);
  };
  for (uint32_t type : kOutputTypeOrder) {
    for (const ResolvedPath& entry : pathList) {
      if (resolved != nullptr && onDriveOfType(entry, type)) resolved->push_back(entry);
    }
    for (const ResolvedPath& entry : parentList) {
      if (parentResolved != nullptr && onDriveOfType(entry, type) && included(entry)) {
        parentResolved->push_back(entry);
      }
    }
    for (const ResolvedPath& entry : unresolvedList) {
      if (unresolved != nullptr && onDriveOfType(entry, type) && included(entry)) {
        unresolved->push_back(entry);
      }
    }
  }

  const ResolvedPathList none;
  RESOLVER_TRACE(logger_, "PathHelper::pathResolver - list info...\n");
  traceList(logger_, "PathHelper::pathResolver - resolved path [%S] [%d] [%S]\n",
            resolved != nullptr ? *resolved : none);
  traceList(logger_, "PathHelper::pathResolver - parent resolved path [%S] [%d] [%S]\n",
            parentResolved != nullptr ? *parentResolved : none);
  traceList(logger_, "PathHelper::pathResolver - excluded path [%S] [%d] [%S]\n",
            excluded != nullptr ? *excluded : none);
  traceList(logger_, "PathHelper::pathResolver - unresolved path [%S] [%d] [%S]\n",
            unresolved != nullptr ? *unresolved : none);
  RESOLVER_TRACE(logger_, "PathHelper::pathResolver - list info end\n");
  FS_TRACE_EXIT(logger_, "PathHelper::pathResolver - exit.\n");
  return true;
}
