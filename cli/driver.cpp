// Shared driver steps for the vkt2 tools.
#include "driver.hpp"

#include <cstdio>

#include "messages.hpp"
#include "platform.hpp"

namespace vkt2::driver {

int fail(const char* message) {
    std::fputs(message, stderr);
    return 1;
}

std::optional<std::size_t> load_input(const char* name, std::span<std::uint8_t> buffer) {
    platform::file input = platform::open_for_reading(name);
    if (!input) {
        fail(messages::cannot_open);
        return std::nullopt;
    }
    const auto got = platform::read_up_to(input, buffer);
    // Nothing was written through this descriptor, so its close cannot lose data.
    input.close();
    if (!got) fail(messages::cannot_read);
    return got;
}

void print_statistics(const char* first, std::size_t a, const char* second, std::size_t b) {
    std::printf("%s = %d -> %s = %d\n", first, static_cast<int>(a), second, static_cast<int>(b));
    std::fflush(stdout);
}

int commit(replacement& output, std::span<const std::uint8_t> data) {
    switch (output.commit(data)) {
        case replacement::outcome::done:
            return 0;
        case replacement::outcome::write_failed:
            return fail(messages::cannot_write_temp);
        case replacement::outcome::rename_failed:
            break;
    }
    return fail(messages::cannot_rename);
}

}  // namespace vkt2::driver
