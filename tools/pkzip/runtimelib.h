#pragma once

#include <string>

namespace pkzip {

// A library bound the first time a member needs it, and kept for the rest of the run: loaded by its
// run-time name (runtimelib.cpp), or, in the tool itself, linked in and its functions looked up
// (runtimelib_linked.cpp).
class RuntimeLibrary {
public:
    // what names the library in messages ("libbz2"); soname is the run-time name found at build time.
    RuntimeLibrary(const char* what, const char* soname);

    // Binds function to the library's symbol; a missing symbol makes the library unusable.
    template <class Function> void bind(Function& function, const char* symbol) {
        function = reinterpret_cast<Function>(address(symbol));
    }
    // Empty when the library and every bound symbol are there, else why not.
    const std::string& problem() const { return m_problem; }

private:
    void* address(const char* symbol);

    std::string m_what;
    void* m_handle = nullptr;
    std::string m_problem;
};

} // namespace pkzip
