// SHA-256 (FIPS 180-4), fed in pieces of any size. Where the processor has the
// SHA extensions (x86-64) the blocks go through them; elsewhere, or when asked,
// through the plain code. Both give the same digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace doz {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;
    enum class Engine { Best, Plain };

    explicit Sha256(Engine engine = Engine::Best);
    void update(std::string_view data);
    // The digest of everything given; the object then starts again empty.
    Digest finish();

    // Whether Engine::Best uses the processor's SHA instructions here.
    static bool processorInstructions();
    // 64 lowercase hexadecimal digits.
    static std::string hex(const Digest& digest);

private:
    void blocks(const std::uint8_t* data, std::size_t count);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t length_ = 0;  // bytes given
    bool fast_ = false;
};

// The hexadecimal digest of `data`.
std::string Sha256Hex(std::string_view data);

}  // namespace doz
