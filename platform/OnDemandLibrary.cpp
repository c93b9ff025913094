#include "platform/OnDemandLibrary.h"

#include <dlfcn.h>

namespace korvel::platform
{

void OnDemandLibrary::Open()
{
    std::call_once(opened_,
                   [this]
                   {
                       // Local: its symbols must not stand in for those of a library loaded later.
                       handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
                       if (!handle_)
                       {
                           // The loader's reason names the library.
                           const char* why = dlerror();
                           error_ = why ? why : std::string(soname_) + " could not be loaded";
                       }
                   });
}

bool OnDemandLibrary::Available()
{
    Open();
    return handle_ != nullptr;
}

const std::string& OnDemandLibrary::Error()
{
    Open();
    return error_;
}

void* OnDemandLibrary::Symbol(const char* name)
{
    if (!Available())
        throw LibraryUnavailable(error_);
    dlerror();
    void* symbol = dlsym(handle_, name);
    if (!symbol)
    {
        const char* why = dlerror();
        throw LibraryUnavailable(std::string(soname_) + " has no " + name + ": " + (why ? why : "not found"));
    }
    return symbol;
}

} // namespace korvel::platform
