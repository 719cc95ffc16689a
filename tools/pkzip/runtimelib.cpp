#include "runtimelib.h"

#include <dlfcn.h>

namespace pkzip {

RuntimeLibrary::RuntimeLibrary(const char* what, const char* soname) : m_what(what) {
    m_handle = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* reason = ::dlerror();
        m_problem =
            m_what + " (" + soname + ") cannot be loaded: " + (reason != nullptr ? reason : "not found");
    }
}

void* RuntimeLibrary::address(const char* symbol) {
    if (m_handle == nullptr) {
        return nullptr;
    }
    void* found = ::dlsym(m_handle, symbol);
    if (found == nullptr && m_problem.empty()) {
        m_problem = m_what + " has no " + symbol;
    }
    return found;
}

} // namespace pkzip
