// vkt2: decompresses, compresses, tests and lists VKT2 files and whole folders of them.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "archive_kind.hpp"
#include "engine.hpp"
#include "options.hpp"
#include "platform.hpp"
#include "vkt2/vkt2.h"

namespace {

// Looks for a held ending signal every 50 ms on a thread of its own, so that a run asks a flag
// between two files rather than the system. Without that thread, it asks the system. A person
// sees no difference between 20 and 50 ms; the run is woken less than half as often.
class signal_watch {
  public:
    signal_watch() {
        try {
            thread_.emplace([this] { watch(); });
        } catch (const std::system_error&) {
        }
    }
    signal_watch(const signal_watch&) = delete;
    signal_watch& operator=(const signal_watch&) = delete;
    ~signal_watch() {
        {
            const std::lock_guard lock(m_);
            done_ = true;
        }
        cv_.notify_one();
        if (thread_) thread_->join();
    }
    bool pending() const {
        return seen_.load(std::memory_order_acquire) ||
               (!thread_ && vkt2::platform::ending_signal_pending());
    }

  private:
    void watch() {
        std::unique_lock lock(m_);
        while (!done_) {
            if (vkt2::platform::ending_signal_pending()) {
                seen_.store(true, std::memory_order_release);
                return;
            }
            cv_.wait_for(lock, std::chrono::milliseconds(50));
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    std::atomic<bool> seen_{false};
    std::optional<std::thread> thread_;
};

int run(const std::vector<std::string>& args) {
    using vkt2::batch::parsed;
    // A program may be started with no arguments at all, not even its name.
    const parsed p = vkt2::batch::parse_arguments(
        std::vector<std::string>(args.begin() + (args.empty() ? 0 : 1), args.end()),
        !vkt2::platform::is_terminal(0));
    switch (p.what) {
        case parsed::kind::help:
            std::fputs(vkt2::batch::help_text, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case parsed::kind::version:
            std::puts("vkt2 " VKT2_VERSION_STRING);
            std::printf("archives: %s\n", vkt2::batch::archive_support().c_str());
            return std::fflush(stdout) == 0 ? 0 : 1;
        case parsed::kind::error:
            std::fprintf(stderr, "vkt2: %s\n%s\nTry 'vkt2 --help' for more information.\n",
                         p.error.c_str(), vkt2::batch::usage_line);
            return 2;
        case parsed::kind::run:
            break;
    }
    // As zstd does: compressed data is no use on a terminal, and may upset it.
    const auto& o = p.opts;
    if (o.cmd == vkt2::batch::command::c && o.paths.size() == 1 && o.paths[0] == "-" && !o.force &&
        vkt2::platform::is_terminal(1)) {
        std::fputs("vkt2: -: will not write compressed data to a terminal (-f writes it)\n",
                   stderr);
        return 1;
    }
    // Nor can it be typed in: a terminal on standard input would only leave the run waiting.
    if (o.cmd != vkt2::batch::command::c &&
        std::find(o.paths.begin(), o.paths.end(), "-") != o.paths.end() &&
        vkt2::platform::is_terminal(0)) {
        std::fputs("vkt2: -: will not read compressed data from a terminal\n", stderr);
        return 1;
    }
#ifdef _WIN32
    // Data must pass through standard input and output as it is.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    // SIGINT, SIGTERM and SIGHUP wait, in every thread, until the files under way are done;
    // the run then stops, and the signal, delivered as `held` ends, ends the process.
    const vkt2::platform::signals_held held;
    const signal_watch signals;
    return vkt2::batch::run(p.opts, stdout, stderr, vkt2::platform::is_terminal(2),
                            [&] { return signals.pending(); });
}

}  // namespace

int VKT2_MAIN(int argc, vkt2::platform::native_char** argv) {
    // Before any file is opened: see set_up_process. An allocation that fails anywhere ends the
    // run with a message, never with an abort, and takes this run's temporary files with it.
    // Data, listings and JSON meant for a closed standard output are a write error, as in cat.
    vkt2::platform::set_up_process("vkt2: out of memory\n", true);
    const int status = run(vkt2::platform::arguments(argc, argv));
    // A reader that went away ends the run as it ends other tools: by SIGPIPE.
    if (status == vkt2::batch::broken_pipe_status) vkt2::platform::end_as_broken_pipe();
    return status;
}
