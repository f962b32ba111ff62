#include "platform/LoadableModule.h"

#include <dlfcn.h>

#include <QtGlobal>
#include <map>
#include <mutex>
#include <string>

namespace {

struct LoadedModules {
    std::mutex mutex;
    std::map<std::string, void*> handles;  // nullptr for a module that failed to load
};

LoadedModules& Modules() {
    static LoadedModules modules;
    return modules;
}

// The module's handle, loading it the first time; nullptr when it cannot be loaded.
void* ModuleHandle(const std::string& name) {
    LoadedModules& modules = Modules();
    const std::lock_guard lock(modules.mutex);
    const auto found = modules.handles.find(name);
    if (found != modules.handles.end()) {
        return found->second;
    }
    const std::string file = "libvorn_" + name + ".so";
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        qCritical("cannot load the program's %s part: %s", name.c_str(), why ? why : file.c_str());
    }
    modules.handles.emplace(name, handle);
    return handle;
}

}  // namespace

void* ModuleSymbol(const char* name, const char* symbol) {
    void* handle = ModuleHandle(name);
    if (handle == nullptr) {
        return nullptr;
    }
    void* address = ::dlsym(handle, symbol);
    if (address == nullptr) {
        qCritical("the program's %s part lacks %s", name, symbol);
    }
    return address;
}
