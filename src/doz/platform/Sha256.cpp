#include "platform/Sha256.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define DOZ_SHA_EXTENSIONS 1
#endif

namespace doz {

namespace {

constexpr std::array<std::uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

alignas(16) constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void plainBlocks(std::uint32_t* state, const std::uint8_t* data, std::size_t count) {
    for (; count > 0; --count, data += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) w[i] = bigEndian32(data + 4 * i);
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5],
                      g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef DOZ_SHA_EXTENSIONS
// The same compression with the SHA extensions. The instructions keep the
// eight working words in two registers, (a, b, e, f) and (c, d, g, h), each
// with its first word in the highest lane; sha256rnds2 does two rounds, taking
// their schedule words plus constants from the low half of its third operand.
__attribute__((target("sha,sse4.1,ssse3"))) void extensionBlocks(std::uint32_t* state, const std::uint8_t* data,
                                                                  std::size_t count) {
    // Each 32-bit word of the block read big-endian.
    const __m128i byteOrder = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));      // lanes a b c d
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));  // lanes e f g h
    dcba = _mm_shuffle_epi32(dcba, 0xB1);                                          // b a d c
    hgfe = _mm_shuffle_epi32(hgfe, 0x1B);                                          // h g f e
    __m128i abef = _mm_alignr_epi8(dcba, hgfe, 8);                                 // f e b a
    __m128i cdgh = _mm_blend_epi16(hgfe, dcba, 0xF0);                              // h g d c

    for (; count > 0; --count, data += 64) {
        const __m128i savedAbef = abef, savedCdgh = cdgh;
        __m128i w[16];
        for (int i = 0; i < 4; ++i)
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteOrder);
        for (int i = 4; i < 16; ++i) {
            __m128i t = _mm_sha256msg1_epu32(w[i - 4], w[i - 3]);
            t = _mm_add_epi32(t, _mm_alignr_epi8(w[i - 1], w[i - 2], 4));
            w[i] = _mm_sha256msg2_epu32(t, w[i - 1]);
        }
        for (int i = 0; i < 16; ++i) {
            __m128i words = _mm_add_epi32(w[i], _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * i)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, words);
            words = _mm_shuffle_epi32(words, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, words);
        }
        abef = _mm_add_epi32(abef, savedAbef);
        cdgh = _mm_add_epi32(cdgh, savedCdgh);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);  // a b e f
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);  // g h c d
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}
#endif

}  // namespace

bool Sha256::processorInstructions() {
#ifdef DOZ_SHA_EXTENSIONS
    static const bool present = __builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1") &&
                                __builtin_cpu_supports("ssse3");
    return present;
#else
    return false;
#endif
}

Sha256::Sha256(Engine engine) : state_(kInitial), fast_(engine == Engine::Best && processorInstructions()) {}

void Sha256::blocks(const std::uint8_t* data, std::size_t count) {
#ifdef DOZ_SHA_EXTENSIONS
    if (fast_) {
        extensionBlocks(state_.data(), data, count);
        return;
    }
#endif
    plainBlocks(state_.data(), data, count);
}

void Sha256::update(std::string_view text) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t size = text.size();
    length_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(size, pending_.size() - pendingSize_);
        std::memcpy(pending_.data() + pendingSize_, data, take);
        pendingSize_ += take;
        data += take;
        size -= take;
        if (pendingSize_ < pending_.size()) return;
        blocks(pending_.data(), 1);
        pendingSize_ = 0;
    }
    blocks(data, size / 64);
    data += size / 64 * 64;
    pendingSize_ = size % 64;
    if (pendingSize_ > 0) std::memcpy(pending_.data(), data, pendingSize_);
}

Sha256::Digest Sha256::finish() {
    const std::uint64_t bits = length_ * 8;
    // A one bit, zeros up to 56 bytes into a block, then the length in bits.
    std::uint8_t tail[128] = {0x80};
    const std::size_t padding = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
    for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(std::string_view(reinterpret_cast<const char*>(tail), padding + 8));

    Digest out;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
    state_ = kInitial;
    pendingSize_ = 0;
    length_ = 0;
    return out;
}

std::string Sha256::hex(const Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(64);
    for (const std::uint8_t b : digest) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string Sha256Hex(std::string_view data) {
    Sha256 h;
    h.update(data);
    return Sha256::hex(h.finish());
}

}  // namespace doz
