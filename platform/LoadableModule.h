#pragma once

#include <initializer_list>
#include <optional>
#include <string>

// The program's parts that need libraries too costly to load at every start: OpenCV's codecs and
// capture backends bring GStreamer, GDAL and a hundred more, which every command-line launch would
// otherwise wait for. Each such part is a module of its own (libvorn_<name>.so, found through the
// program's run path), loaded at its first use and kept for the life of the process.

// The address of `symbol` in module `name`, or nullptr when the module or the symbol cannot be
// loaded; the first failure of each module is told once as a critical message.
// Safe to call from any thread.
void* ModuleSymbol(const char* name, const char* symbol);

// ModuleSymbol as a function of type `Function`.
template <typename Function>
Function* ModuleFunction(const char* name, const char* symbol) {
    return reinterpret_cast<Function*>(ModuleSymbol(name, symbol));
}

// What makes the installation broken when the modules `names` are not all in place: "broken
// installation: /usr/local/lib/vorn/libvorn_videoio.so is missing" (or unreadable, or empty or
// damaged), for the first module whose file is not a readable library; nothing when they are all
// there. Only looks at the files, without loading them, so a launch that checks pays nothing for
// it. Safe to call from any thread.
std::optional<std::string> BrokenInstallation(std::initializer_list<const char*> names);
