// vkt2c: compresses one file in place into the VKT2 format, keeping the original as NAME.BAK.
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
    if (args.size() != 2) return fail(vkt2::messages::usage_vkt2c);

    // One byte more than the format can hold, so that a larger file shows itself.
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[vkt2::max_file_size]);
    if (!buffer) return fail(vkt2::messages::no_memory);
    const auto source =
        vkt2::driver::load_input(args[1].c_str(), {buffer.get(), vkt2::max_file_size});
    if (!source) return 1;
    const std::span<const std::uint8_t> input(buffer.get(), source->size);

    // Refuses a file too large for the format, or one vkt2x could not load whole.
    const vkt2::file_result compressed = vkt2::compress(input);
    if (!compressed) return fail(vkt2::messages::too_large);
    const std::vector<std::uint8_t>& file = compressed.bytes;
    vkt2::driver::print_statistics("original", input.size(), "compressed", file.size());
    // A fault in the encoder must never replace a file with one that does not turn back into it.
    std::vector<std::uint8_t> scratch(input.size());
    if (!vkt2::decodes_to(file, input, scratch)) {
        return fail(vkt2::messages::cannot_write_temp);
    }

    vkt2::replacement output(*source);
    if (!output.ready()) return fail(vkt2::messages::cannot_create_temp);
    return vkt2::driver::commit(output, file);
}

}  // namespace

int VKT2_MAIN(int argc, vkt2::platform::native_char** argv) {
    return run(vkt2::platform::arguments(argc, argv));
}
