#include "provider_monitor/monitor_mode_cache.h"

MonitorModeCache::MonitorModeCache(const char16_t* home, const FsCacheOptions* options)
    : cache_(u"mon_dirs", u"mon_files", home, true, false, false, options) {}
