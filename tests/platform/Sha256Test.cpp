// SHA-256 against the FIPS 180-4 examples, by both engines and fed in pieces
// of every awkward size.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/Sha256.h"

namespace doz {
namespace {

std::string digest(Sha256::Engine engine, const std::string& data, std::size_t piece) {
    Sha256 h(engine);
    for (std::size_t at = 0; at < data.size(); at += piece) h.update(std::string_view(data).substr(at, piece));
    return Sha256::hex(h.finish());
}

TEST(Sha256, StandardExamplesByEitherEngineInAnyPieces) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases)
        for (const Sha256::Engine engine : {Sha256::Engine::Best, Sha256::Engine::Plain})
            for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{4096}}) {
                if (piece == 1 && c.message.size() > 1000) continue;
                EXPECT_EQ(digest(engine, c.message, std::max<std::size_t>(piece, 1)), c.digest)
                    << c.message.size() << " bytes in pieces of " << piece;
            }
    EXPECT_EQ(Sha256Hex("abc"), cases[0].digest);
}

TEST(Sha256, EnginesAgreeOnEveryLengthAroundTheBlock) {
    std::mt19937 random(7);
    std::string data(3000, '\0');
    for (char& c : data) c = static_cast<char>(random());
    for (std::size_t n = 0; n < data.size(); n += (n < 200 ? 1 : 97)) {
        const std::string part = data.substr(0, n);
        ASSERT_EQ(digest(Sha256::Engine::Best, part, 1000), digest(Sha256::Engine::Plain, part, 7)) << n;
    }
    // finish() starts again empty.
    Sha256 h;
    h.update("xyz");
    h.finish();
    h.update("abc");
    EXPECT_EQ(Sha256::hex(h.finish()), Sha256Hex("abc"));
}

}  // namespace
}  // namespace doz
