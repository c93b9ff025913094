// A system library opened at its first use instead of at the program's start. Most launches of the window
// never touch the keyring or SSH, and mapping their libraries with everything they bring (GIO, OpenSSL,
// Kerberos) was a fifth of the time to the first paint.
//
// A program uses such a library through a file of forwarders: functions of the library's own names and
// signatures (its header declares them, so the compiler checks each one), each calling the library's function
// looked up on first use. The code that calls them is written as if the library were linked. No Qt.
#pragma once

#include <mutex>
#include <stdexcept>
#include <string>

namespace korvel::platform
{

// The library, or one of its functions, could not be found; the message names it and says why.
class LibraryUnavailable : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class OnDemandLibrary
{
public:
    // `soname` is looked up as the dynamic loader looks up a program's own libraries, e.g. "libssh.so.4".
    explicit OnDemandLibrary(const char* soname) : soname_(soname) {}
    OnDemandLibrary(const OnDemandLibrary&) = delete;
    OnDemandLibrary& operator=(const OnDemandLibrary&) = delete;

    // The library's function or variable `name`; the library is opened on the first call (from any thread),
    // and a library that could not be opened is not tried again. Throws LibraryUnavailable.
    void* Symbol(const char* name);

    // Whether the library could be opened (opening it); the reason when not.
    bool Available();
    const std::string& Error();

private:
    void Open();

    const char* soname_;
    std::once_flag opened_;
    void* handle_ = nullptr;
    std::string error_;
};

} // namespace korvel::platform

// Defines the library function `name`, as its header declares it, to call the one of `library` (an
// OnDemandLibrary&). The definition is hidden: a library linked at build time that calls `name` keeps calling
// its own.
#define KORVEL_FORWARD(library, result, name, parameters, arguments)                                         \
    extern "C" result name parameters                                                                        \
    {                                                                                                        \
        static const auto function = reinterpret_cast<decltype(&::name)>((library).Symbol(#name));           \
        return function arguments;                                                                           \
    }                                                                                                        \
    asm(".hidden " #name)
