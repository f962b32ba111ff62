#include "platform/LoadableModule.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>  // dl_iterate_phdr
#include <unistd.h>

#include <QtGlobal>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
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

std::string ModuleFileName(const std::string& name) {
    return "libvorn_" + name + ".so";
}

std::string PathIn(const std::string& folder, const std::string& file) {
    return std::filesystem::path(folder + '/' + file).lexically_normal().string();
}

// The module file's path in the first search folder that holds it; nothing when none does.
std::optional<std::string> FindModule(const std::string& file) {
    for (const std::string& folder : ProgramSearchFolders()) {
        std::string path = PathIn(folder, file);
        if (::access(path.c_str(), F_OK) == 0) {
            return path;
        }
    }
    return std::nullopt;
}

void* OpenModule(const std::string& file) {
    const std::optional<std::string> path = FindModule(file);
    return ::dlopen(path ? path->c_str() : file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// What is wrong with the library file at `path`, or nothing when it opens and starts as one.
std::optional<std::string> LibraryFileTrouble(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::string("is unreadable (") + std::strerror(errno) + ")";
    }
    char magic[SELFMAG] = {};
    const ssize_t n = ::read(fd, magic, sizeof magic);
    ::close(fd);
    if (n != SELFMAG || std::memcmp(magic, ELFMAG, SELFMAG) != 0) {
        return std::string(n == 0 ? "is empty" : "is damaged (not a library)");
    }
    return std::nullopt;
}

// What lies at an address the loader hands as an integer.
template <typename T>
const T* AtAddress(ElfW(Addr) address) {
    return reinterpret_cast<const T*>(address);  // NOLINT(performance-no-int-to-ptr)
}

// The run path in the dynamic section of the loaded object `object`: DT_RUNPATH, or the older
// DT_RPATH, which the other overrides; empty when it has none.
std::string RunPathOf(const dl_phdr_info& object) {
    for (int i = 0; i < object.dlpi_phnum; ++i) {
        if (object.dlpi_phdr[i].p_type != PT_DYNAMIC) {
            continue;
        }
        ElfW(Addr) strings = 0;
        std::optional<ElfW(Xword)> at;
        for (const auto* entry =
                 AtAddress<ElfW(Dyn)>(object.dlpi_addr + object.dlpi_phdr[i].p_vaddr);
             entry->d_tag != DT_NULL; ++entry) {
            if (entry->d_tag == DT_STRTAB) {
                strings = entry->d_un.d_ptr;
            } else if (entry->d_tag == DT_RUNPATH || (entry->d_tag == DT_RPATH && !at)) {
                at = entry->d_un.d_val;
            }
        }
        if (strings != 0 && at) {
            // The loader relocates the table's address in place on most machines, not all.
            strings += strings < object.dlpi_addr ? object.dlpi_addr : 0;
            return AtAddress<char>(strings + *at);
        }
    }
    return {};
}

// The first folder of the program's own run path, $ORIGIN expanded: where the installation puts
// the modules. Read from the program, as the loader's search list leaves out a folder that does
// not exist.
std::optional<std::string> FirstRunPathFolder() {
    std::string runPath;
    ::dl_iterate_phdr(
        [](dl_phdr_info* object, std::size_t, void* found) {
            *static_cast<std::string*>(found) = RunPathOf(*object);
            return 1;  // the first object is the program: no other is looked at
        },
        &runPath);
    std::string folder = runPath.substr(0, runPath.find(':'));
    if (folder.empty()) {
        return std::nullopt;
    }
    if (folder.starts_with("$ORIGIN")) {
        std::error_code error;
        const std::filesystem::path program =
            std::filesystem::read_symlink("/proc/self/exe", error);
        folder.replace(0, 7, program.parent_path().string());
    }
    return folder;
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
    const std::string file = ModuleFileName(name);
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

std::optional<std::string> BrokenInstallation(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const std::string file = ModuleFileName(name);
        const std::optional<std::string> path = FindModule(file);
        const std::optional<std::string> trouble =
            path ? LibraryFileTrouble(*path) : std::optional<std::string>("is missing");
        if (trouble) {
            const std::optional<std::string> installed = FirstRunPathFolder();
            return "broken installation: " +
                   path.value_or(installed ? PathIn(*installed, file) : file) + " " + *trouble;
        }
    }
    return std::nullopt;
}
