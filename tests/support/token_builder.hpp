// Builds token streams by hand, so a test can put exact tokens at exact places.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkt2::testing {

class token_builder {
  public:
    token_builder& literal(std::uint8_t byte) {
        next_token(true);
        bytes_.push_back(byte);
        return *this;
    }
    token_builder& literals(const char* text) {
        for (; *text != '\0'; ++text) literal(static_cast<std::uint8_t>(*text));
        return *this;
    }
    // A reference to absolute window position `pos` (0..4095) of `len` (3..18) bytes.
    token_builder& copy(unsigned pos, unsigned len) {
        next_token(false);
        bytes_.push_back(static_cast<std::uint8_t>(pos & 0xFF));
        bytes_.push_back(static_cast<std::uint8_t>(((pos >> 4) & 0xF0) | (len - 3)));
        return *this;
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    void next_token(bool is_literal) {
        if (count_ % 8 == 0) {
            flag_at_ = bytes_.size();
            bytes_.push_back(0);
        }
        if (is_literal)
            bytes_[flag_at_] = static_cast<std::uint8_t>(bytes_[flag_at_] | (1u << (count_ % 8)));
        ++count_;
    }

    std::vector<std::uint8_t> bytes_;
    std::size_t flag_at_ = 0;
    std::size_t count_ = 0;
};

}  // namespace vkt2::testing
