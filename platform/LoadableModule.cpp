#include "platform/LoadableModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <QtGlobal>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The folders dlopen searches for a call from the program itself, its run path among them. A
// sanitizer's interceptor calls dlopen from its own library, whose run path is not the
// program's, so the folders are searched here and a module is opened by its full path.
std::vector<std::string> ProgramSearchFolders() {
    void* program = ::dlopen(nullptr, RTLD_NOW);
    Dl_serinfo size{};
    if (program == nullptr || ::dlinfo(program, RTLD_DI_SERINFOSIZE, &size) != 0) {
        return {};
    }
    std::vector<std::max_align_t> buffer(size.dls_size / sizeof(std::max_align_t) + 1);
    auto* info = reinterpret_cast<Dl_serinfo*>(buffer.data());
    *info = size;
    if (::dlinfo(program, RTLD_DI_SERINFO, info) != 0) {
        return {};
    }
    std::vector<std::string> folders;
    for (unsigned int i = 0; i < info->dls_cnt; ++i) {
        folders.emplace_back(info->dls_serpath[i].dls_name);
    }
    return folders;
}

void* OpenModule(const std::string& file) {
    for (const std::string& folder : ProgramSearchFolders()) {
        std::string path = folder;
        path.append(1, '/').append(file);
        if (::access(path.c_str(), F_OK) == 0) {
            return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
    }
    return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

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
    void* handle = OpenModule(file);
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
