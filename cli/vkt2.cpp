// vkt2: decompresses, compresses, tests and lists VKT2 files and whole folders of them.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "batch/engine.hpp"
#include "batch/options.hpp"

namespace {

bool stderr_is_terminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

int run(int argc, char** argv) {
    using vkt2::batch::parsed;
    const parsed p = vkt2::batch::parse_arguments(std::vector<std::string>(argv + 1, argv + argc));
    switch (p.what) {
        case parsed::kind::help:
            std::fputs(vkt2::batch::help_text, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case parsed::kind::version:
            std::puts("vkt2 " VKT2_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case parsed::kind::error:
            std::fprintf(stderr, "vkt2: %s\n%s\n", p.error.c_str(), vkt2::batch::usage_line);
            return 2;
        case parsed::kind::run:
            break;
    }
#ifdef _WIN32
    // cat's bytes must reach the pipe as they are.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    return vkt2::batch::run(p.opts, stdout, stderr, stderr_is_terminal());
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("vkt2: out of memory\n", stderr);
        return 1;
    }
}
