// vkt2x: decompresses one VKT2 file in place, keeping the compressed file as NAME.BAK.
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "driver.hpp"
#include "messages.hpp"
#include "platform.hpp"
#include "vkt2/vkt2.hpp"

namespace {

int run(const std::vector<std::string>& args) {
    using vkt2::driver::fail;
    vkt2::driver::set_up_process();
    if (args.size() != 2) return fail(vkt2::messages::usage_vkt2x);

    // One zero-filled allocation holds the load buffer and, after it, room for the output.
    std::unique_ptr<std::uint8_t[]> memory(
        new (std::nothrow) std::uint8_t[vkt2::max_file_size + vkt2::max_original_size]());
    if (!memory) return fail(vkt2::messages::no_memory);
    const std::span<std::uint8_t> buffer(memory.get(), vkt2::max_file_size);

    const auto input = vkt2::driver::load_input(args[1].c_str(), buffer);
    if (!input) return 1;
    const auto original_size = vkt2::decoded_size(buffer);
    if (!original_size) return fail(vkt2::messages::not_compressed);
    vkt2::driver::print_statistics("compressed", input->size, "original", *original_size);

    vkt2::replacement output(*input);
    if (!output.ready()) return fail(vkt2::messages::cannot_create_temp);

    const std::span<std::uint8_t> decoded(memory.get() + vkt2::max_file_size, *original_size);
    // By the loader's rules: a file cut short decodes, zeros past its end.
    const auto result =
        vkt2::decompress_into(buffer.first(input->size), decoded, vkt2::decoding::zero_fill);
    if (result.status != vkt2::file_status::ok) return fail(vkt2::messages::stream_past_limit);
    return vkt2::driver::commit(output, decoded);
}

}  // namespace

int VKT2_MAIN(int argc, vkt2::platform::native_char** argv) {
    return run(vkt2::platform::arguments(argc, argv));
}
