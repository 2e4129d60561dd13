// The first of a list's entries with each key, found in one pass: an
// open-addressing table of entry numbers (eight bytes a slot, no node per
// key, at most half full). The keys are views of texts the caller keeps; the
// table asks the caller for an entry's key whenever it compares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace doz {

// A text and a number as one key (the number is 0 where only the text counts).
struct TextKey {
    std::string_view text;
    std::int64_t number = 0;
    bool operator==(const TextKey&) const = default;
    std::uint32_t hash() const {
        const std::uint64_t h = std::hash<std::string_view>{}(text) ^
                                (static_cast<std::uint64_t>(number) * 0x9E3779B97F4A7C15ULL);
        return static_cast<std::uint32_t>(h ^ (h >> 32));
    }
};

// `KeyAt` gives the TextKey of entry i (0-based).
template <class KeyAt>
class FirstOfKey {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    FirstOfKey(std::size_t expected, KeyAt keyAt) : keyAt_(std::move(keyAt)) {
        std::size_t size = 16;
        while (size < expected * 2) size *= 2;
        slots_.resize(size);
    }

    // The first entry recorded with the key of entry `i`; `i` itself when
    // there is none, and then `i` is recorded.
    std::size_t firstOf(std::size_t i) {
        if ((used_ + 1) * 2 > slots_.size()) grow();
        const TextKey key = keyAt_(i);
        const std::uint32_t hash = key.hash();
        Slot& slot = slotFor(key, hash);
        if (slot.entry != 0) return slot.entry - 1;
        slot = {hash, static_cast<std::uint32_t>(i + 1)};
        ++used_;
        return i;
    }

    // The entry recorded with `key`, or npos.
    std::size_t find(const TextKey& key) const {
        const Slot& slot = const_cast<FirstOfKey*>(this)->slotFor(key, key.hash());
        return slot.entry == 0 ? npos : slot.entry - 1;
    }

private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t entry = 0;  // entry number + 1; 0 for a free slot
    };

    Slot& slotFor(const TextKey& key, std::uint32_t hash) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            Slot& slot = slots_[at];
            if (slot.entry == 0 || (slot.hash == hash && keyAt_(slot.entry - 1) == key)) return slot;
        }
    }
    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.entry == 0) continue;
            std::size_t at = slot.hash & mask;
            while (slots_[at].entry != 0) at = (at + 1) & mask;
            slots_[at] = slot;
        }
    }

    KeyAt keyAt_;
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

}  // namespace doz
