// vkt2x: decompresses one VKT2 file in place, keeping the compressed file as NAME.BAK.
#include <cstdio>
#include <memory>
#include <new>
#include <string>

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

// The temporary output file. Unless committed, it is closed and removed on the way out, so a
// failed run never leaves a half-written NAME.$$$ behind.
class temp_output {
  public:
    explicit temp_output(std::string name)
        : name_(std::move(name)),
          file_(vkt2::platform::create_or_truncate(name_.c_str())),
          owned_(static_cast<bool>(file_)) {}
    temp_output(const temp_output&) = delete;
    temp_output& operator=(const temp_output&) = delete;
    ~temp_output() {
        // A name this run could not open is somebody else's: leave it alone.
        if (owned_ && !committed_) {
            file_.close();
            vkt2::platform::remove_file(name_.c_str());
        }
    }

    bool is_open() const { return owned_; }
    const std::string& name() const { return name_; }

    // Writes everything and closes; on success the file stays when this object goes.
    bool write_and_close(std::span<const std::uint8_t> data) {
        const bool written = vkt2::platform::write_all(file_, data);
        const bool closed = file_.close();
        committed_ = written && closed;
        return committed_;
    }

  private:
    std::string name_;
    vkt2::platform::file file_;
    bool owned_;
    bool committed_ = false;
};

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

    const std::string name_str(name);
    temp_output temp(name_str + ".$$$");
    const std::string backup_name = name_str + ".BAK";
    if (!temp.is_open()) return fail(vkt2::messages::cannot_create_temp);

    const std::span<std::uint8_t> decoded(memory.get() + vkt2::input_buffer_size, *original_size);
    const vkt2::decode_result result = vkt2::decode_stream(vkt2::token_stream(buffer), decoded);
    if (result.status != vkt2::decode_status::ok) return fail(vkt2::messages::data_truncated);
    if (!temp.write_and_close(decoded)) return fail(vkt2::messages::cannot_write_temp);
    memory.reset();

    if (!vkt2::replace_with_backup(name, temp.name().c_str(), backup_name.c_str())) {
        return fail(vkt2::messages::cannot_rename);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return run(argc, argv);
}
