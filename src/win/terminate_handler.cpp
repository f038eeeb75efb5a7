// An exception nobody catches ends the program. The runtime's own handler for that first writes
// the exception's type to the standard error stream, which links the whole C++ name demangler
// (over 40 KiB) into each binary; a windowed program or a control has no such stream to show.
// This definition takes the handler's place at link time, so it must reach the linker as an
// object file (the fw_terminate object library), not from inside an archive.

#include <cstdlib>
#include <exception>

void __gnu_cxx::__verbose_terminate_handler() {
    std::abort();
}
