// vkt2: decompresses, compresses, tests and lists VKT2 files and whole folders of them.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <csignal>

#include <unistd.h>
#endif

#include "engine.hpp"
#include "options.hpp"
#include "platform.hpp"
#include "vkt2/vkt2.h"

namespace {

bool stderr_is_terminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

bool ending_signal_pending() {
#ifdef _WIN32
    return false;
#else
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        // A blocked signal stays pending even when it is ignored (nohup, a background job).
        struct sigaction action;
        if (sigismember(&pending, sig) == 1 && sigaction(sig, nullptr, &action) == 0 &&
            action.sa_handler != SIG_IGN)
            return true;
    }
    return false;
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
            std::puts("vkt2 " VKT2_VERSION_STRING);
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
    // A file-size limit makes a write fail rather than end the run.
    vkt2::platform::ignore_size_limit_signal();
    // SIGINT, SIGTERM and SIGHUP wait, in every thread, until the files under way are done;
    // the run then stops, and the signal, delivered as `held` ends, ends the process.
    const vkt2::platform::signals_held held;
    return vkt2::batch::run(p.opts, stdout, stderr, stderr_is_terminal(), ending_signal_pending);
}

}  // namespace

int main(int argc, char** argv) {
    // An allocation that fails anywhere, in any thread or in the runtime, ends the run here with
    // a message, never with an abort, and takes this run's temporary files with it.
    std::set_new_handler([] {
        vkt2::platform::remove_guarded_temps();
        std::fputs("vkt2: out of memory\n", stderr);
        std::_Exit(1);
    });
    return run(argc, argv);
}
