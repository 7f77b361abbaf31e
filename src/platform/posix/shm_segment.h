// Shared-memory segments that hold named kernel objects (mutexes, events) on POSIX.
//
// A segment is a file in /dev/shm (mode 0600) mapped by every process that holds a handle to the
// object. Each process maps a segment once, whatever the number of its handles, and keeps a shared
// flock on it while it does: the lock is how the next opener learns whether any live process
// still holds the object. An opener that can take the lock exclusively knows every holder has
// died and puts the object back in its initial state; a closer that can take it exclusively is
// the last holder and removes the name. So an object lives exactly as long as some live process
// holds a handle to it, as on Windows.
#ifndef FSCANNER_PLATFORM_POSIX_SHM_SEGMENT_H
#define FSCANNER_PLATFORM_POSIX_SHM_SEGMENT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform_testing.h"

namespace platform {
namespace internal {

// What a segment holds. Objects of different kinds share one namespace, as on Windows.
struct SegmentType {
  uint32_t kind;
  size_t payloadSize;
  // Puts the payload in the state of a new object (mutex free, event clear). Called only while no
  // other live process maps the segment.
  void (*initialize)(void* payload);
  // True while a thread of this process still needs the payload mapped although the process has
  // closed its last handle (it owns the mutex); the mapping and the lock then stay. May be null.
  bool (*inUseByProcess)(void* payload);
  // The fault point of the object's create call.
  testing::Fault createFault;
};

struct SegmentMapping;

// One handle's share of a mapped segment.
class SegmentHandle final {
 public:
  // Opens the object of that name, creating it when it does not exist. Null on failure with the
  // last error set: an injected fault, kErrorInvalidName and kErrorPathNotFound (see
  // namedObjectPath), kErrorInvalidHandle (the name belongs to an object of another kind),
  // kErrorAccessDenied, kErrorNotEnoughMemory, kErrorTooManyOpenFiles.
  static std::unique_ptr<SegmentHandle> open(const char16_t* name, const SegmentType& type);
  ~SegmentHandle();
  SegmentHandle(const SegmentHandle&) = delete;
  SegmentHandle& operator=(const SegmentHandle&) = delete;

  void* payload() const { return payload_; }
  // False once the name leads elsewhere or nowhere: its file was removed from /dev/shm under the
  // holders (by a person, or by a clean-up of a user's shared memory at logout), so every later
  // opener makes or finds another object.
  bool stillNamed() const;

 private:
  SegmentHandle(SegmentMapping* mapping, void* payload) : mapping_(mapping), payload_(payload) {}

  SegmentMapping* mapping_;
  void* payload_;
};

// The create call of a named object class: Object owns a Native built from the segment handle.
template <typename Object>
std::unique_ptr<Object> createNamedObject(const char16_t* name, const SegmentType& type) {
  std::unique_ptr<SegmentHandle> segment = SegmentHandle::open(name, type);
  if (segment == nullptr) return nullptr;
  return wrapNative<Object>(makeNothrow<typename Object::Native>(std::move(segment)));
}

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_SHM_SEGMENT_H
