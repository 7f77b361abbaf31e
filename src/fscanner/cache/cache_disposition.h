// How FS_Cache::create treats the tables of its directory.
#ifndef FSCANNER_CACHE_CACHE_DISPOSITION_H
#define FSCANNER_CACHE_CACHE_DISPOSITION_H

// Create new tables, open the existing ones, or open them and create them when that fails.
enum CacheDisposition : int { FS_CACHE_CREATE = 0, FS_CACHE_OPEN = 1, FS_CACHE_OPEN_ALWAYS = 2 };

#endif  // FSCANNER_CACHE_CACHE_DISPOSITION_H
