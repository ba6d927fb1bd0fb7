#include "platform/native/handles.h"

#include <mutex>
#include <unordered_set>

namespace vellora::native {

namespace {
// Handles come from hosts and can be stale or forged: every use is checked
// against the set of live objects.
std::mutex &registryMutex() {
    static std::mutex m;
    return m;
}
std::unordered_set<const Object *> &registry() {
    static std::unordered_set<const Object *> r;
    return r;
}
}  // namespace

void *registerObject(Object *object) {
    std::lock_guard<std::mutex> lock(registryMutex());
    registry().insert(object);
    return object;
}

Object *lookup(const void *handle, Kind kind) {
    if (!handle) return nullptr;
    std::lock_guard<std::mutex> lock(registryMutex());
    auto it = registry().find(static_cast<const Object *>(handle));
    if (it == registry().end() || (*it)->kind != kind) return nullptr;
    return const_cast<Object *>(*it);
}

bool destroy(const void *handle, Kind kind) {
    Object *victim = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        auto it = registry().find(static_cast<const Object *>(handle));
        if (it == registry().end() || (*it)->kind != kind) return false;
        victim = const_cast<Object *>(*it);
        registry().erase(it);
    }
    delete victim;
    return true;
}

long liveObjects() {
    std::lock_guard<std::mutex> lock(registryMutex());
    return long(registry().size());
}

}  // namespace vellora::native
