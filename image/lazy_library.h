// A shared library the program does not link but opens by its soname on the
// first call into it (image/netcdf_lazy.cpp, image/tiff_lazy.cpp).
#pragma once

#include <dlfcn.h>

#include <string>

class LazyLibrary {
public:
    // Opens the library RTLD_LOCAL, so its symbols never shadow the
    // program's forwarding definitions of its functions; `what` names it in
    // the message when it cannot be loaded.
    LazyLibrary(const char *soname, const char *what) : handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL))
    {
        if (handle_) return;
        const char *e = dlerror();
        why_ = std::string("the ") + what + " library " + soname + " cannot be loaded" + (e ? ": " : "") +
               (e ? e : "");
    }
    LazyLibrary(const LazyLibrary &) = delete;
    LazyLibrary &operator=(const LazyLibrary &) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // Why the library could not be loaded (empty when it was).
    const std::string &why() const { return why_; }
    // The library's function NAME, looked up through its handle (so found
    // even in a program that links the library too), or null without it.
    template <class Fn> Fn *lookup(const char *name) const
    {
        return handle_ ? reinterpret_cast<Fn *>(dlsym(handle_, name)) : nullptr;
    }

private:
    void *handle_;
    std::string why_;
};
