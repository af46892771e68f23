// Compressed size over original size, header included, for encode() and the greedy baseline:
// the benchmarks' inputs, then the first 65,535 bytes of each file named on the command line.
// Prints a Markdown table.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "inputs.hpp"
#include "support/greedy_encoder.hpp"
#include "vkt2/format.hpp"

int main(int argc, char** argv) {
    using namespace vkt2::bench;
    std::vector<std::pair<std::string, bytes>> inputs = {{"project sources", text_input()},
                                                         {"random bytes", random_input()},
                                                         {"runs of one byte", runs_input()},
                                                         {"short periods", periods_input()}};
    for (int i = 1; i < argc; ++i) {
        bytes data = file_input(argv[i]);
        if (data.size() == 1) {
            std::fprintf(stderr, "ratio: %s: missing or empty\n", argv[i]);
            return 1;
        }
        inputs.emplace_back(argv[i], std::move(data));
    }
    std::printf("| input | bytes | vkt2c | greedy |\n|---|---|---|---|\n");
    for (const auto& [name, data] : inputs) {
        const auto ratio = [&](std::size_t stream_size) {
            return static_cast<double>(vkt2::header_size + stream_size) /
                   static_cast<double>(data.size());
        };
        std::printf("| %s | %zu | %.4f | %.4f |\n", name.c_str(), data.size(),
                    ratio(vkt2::encode(data).size()),
                    ratio(vkt2::testing::greedy_encode(data).size()));
    }
    return 0;
}
