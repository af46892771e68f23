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

void set_up_process() {
    platform::set_up_process(messages::no_memory);
}

std::optional<source> load_input(const char* name, std::span<std::uint8_t> buffer) {
    source input = load_source(name, buffer);
    switch (input.result) {
        case source::status::loaded:
            return input;
        case source::status::cannot_open:
            fail(messages::cannot_open);
            break;
        case source::status::cannot_read:
            fail(messages::cannot_read);
            break;
    }
    return std::nullopt;
}

void print_statistics(const char* first, std::size_t a, const char* second, std::size_t b) {
    std::printf("%s = %d -> %s = %d\n", first, static_cast<int>(a), second, static_cast<int>(b));
    std::fflush(stdout);
}

int commit(replacement& output, std::span<const std::uint8_t> data) {
    switch (output.commit(data)) {
        case replacement::outcome::done:
            return 0;
        case replacement::outcome::cannot_create:
            return fail(messages::cannot_create_temp);
        case replacement::outcome::read_failed:  // only a copy reads
        case replacement::outcome::changed:
        case replacement::outcome::write_failed:
            return fail(messages::cannot_write_temp);
        case replacement::outcome::rename_failed:
            break;
    }
    return fail(messages::cannot_rename);
}

}  // namespace vkt2::driver
