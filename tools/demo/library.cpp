#include "library.h"

namespace demo {

bool Library::Open(const std::string &path) {
    const std::string name = path.empty() ? VeskLibraryName() : path;
    module = VeskOpen(name.c_str());
    if (!module) {
        const char *why = dlerror();
        error = "cannot load " + name + (why ? std::string(": ") + why : std::string());
        return false;
    }
#define DEMO_RESOLVE(fn) fn = VeskResolve<decltype(&::fn)>(module, #fn);
    DEMO_EXPORTS(DEMO_RESOLVE)
#undef DEMO_RESOLVE
    return true;
}

void Library::Close() {
    if (module) VeskClose(module);
    *this = Library{};
}

bool Library::Has(const char *name) const { return module && VeskSymbol(module, name) != nullptr; }

std::vector<std::string> Library::Missing(const std::vector<std::string> &names) const {
    std::vector<std::string> missing;
    for (const std::string &n : names)
        if (!Has(n.c_str())) missing.push_back(n);
    return missing;
}

}  // namespace demo
