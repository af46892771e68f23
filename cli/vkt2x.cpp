// vkt2x: decompresses one VKT2 file in place, keeping the compressed file as NAME.BAK.
#include <cstdio>
#include <memory>
#include <new>

#include "messages.hpp"
#include "platform.hpp"
#include "replace.hpp"
#include "vkt2.hpp"

namespace {

constexpr std::size_t max_original_size = 65535;

int fail(const char* message) {
    std::fputs(message, stderr);
    return 1;
}

int run(int argc, char** argv) {
    if (argc != 2) return fail(vkt2::messages::usage_vkt2x);
    const char* name = argv[1];

    // One zero-filled allocation holds the load buffer and, after it, room for the output.
    std::unique_ptr<std::uint8_t[]> memory(
        new (std::nothrow) std::uint8_t[vkt2::input_buffer_size + max_original_size]());
    if (!memory) return fail(vkt2::messages::no_memory);
    const std::span<std::uint8_t> buffer(memory.get(), vkt2::input_buffer_size);

    std::size_t compressed_size = 0;
    {
        vkt2::platform::file input = vkt2::platform::open_for_reading(name);
        if (!input) return fail(vkt2::messages::cannot_open);
        const auto got = vkt2::platform::read_up_to(input, buffer);
        // Nothing was written through this descriptor, so its close cannot lose data.
        input.close();
        if (!got) return fail(vkt2::messages::cannot_read);
        compressed_size = *got;
    }

    const auto original_size = vkt2::parse_header(buffer);
    if (!original_size) return fail(vkt2::messages::not_compressed);

    std::printf("compressed = %d -> original = %d\n", static_cast<int>(compressed_size),
                static_cast<int>(*original_size));
    // Keep the statistics line ahead of any message when both streams share one file.
    std::fflush(stdout);

    vkt2::replacement output(name);
    if (!output.ready()) return fail(vkt2::messages::cannot_create_temp);

    const std::span<std::uint8_t> decoded(memory.get() + vkt2::input_buffer_size, *original_size);
    const vkt2::decode_result result = vkt2::decode_stream(vkt2::token_stream(buffer), decoded);
    if (result.status != vkt2::decode_status::ok) return fail(vkt2::messages::data_truncated);

    switch (output.commit(decoded)) {
        case vkt2::replacement::outcome::done:
            return 0;
        case vkt2::replacement::outcome::write_failed:
            return fail(vkt2::messages::cannot_write_temp);
        case vkt2::replacement::outcome::rename_failed:
            break;
    }
    return fail(vkt2::messages::cannot_rename);
}

}  // namespace

int main(int argc, char** argv) {
    return run(argc, argv);
}
