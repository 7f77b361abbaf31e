#include "provider_monitor/provider_result.h"

#include "FsProvider.h"
#include "base/result_codes.h"

int toProviderResult(int32_t code) {
  switch (code) {
    case SUCCESS:
      return HOST_OK;
    case CACHE_LOCK_TIMED_OUT:
    case CACHE_BUILD_TIMED_OUT:
    case QUERY_TIMED_OUT:
      return HOST_TIMED_OUT;
    default:
      return HOST_FAILED;
  }
}
