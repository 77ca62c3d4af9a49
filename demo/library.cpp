#include "library.h"

#include <dlfcn.h>

namespace demo {

bool Library::Open(const std::string &path) {
    const std::string name = path.empty() ? "libVeskMathLIB.so" : path;
    module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char *why = dlerror();
        error = "cannot load " + name + (why ? std::string(": ") + why : std::string());
        return false;
    }
#define DEMO_RESOLVE(fn) fn = reinterpret_cast<decltype(&::fn)>(dlsym(module, #fn));
    DEMO_EXPORTS(DEMO_RESOLVE)
#undef DEMO_RESOLVE
    return true;
}

void Library::Close() {
    if (module) dlclose(module);
    *this = Library{};
}

bool Library::Has(const char *name) const { return module && dlsym(module, name) != nullptr; }

std::vector<std::string> Library::Missing(const std::vector<std::string> &names) const {
    std::vector<std::string> missing;
    for (const std::string &n : names)
        if (!Has(n.c_str())) missing.push_back(n);
    return missing;
}

}  // namespace demo
