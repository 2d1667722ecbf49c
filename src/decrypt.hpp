// Internal to the library and its commands: decrypting from a result line
// to its text.
//
// A line is the caption (or nothing, or the caption without its final space
// when nothing follows), then hex digits in either case. A split cuts the
// digits into words, each the word of some unit; each split gives a text:
// its units' bytes in order, the first byte low, where a last unit with a
// zero high byte gives its low byte alone. No split: the line is not a
// result line. One split: its text. Several: the one whose text holds no
// zero byte, if exactly one does; otherwise the line is ambiguous.
#ifndef ENCRYPT_SRC_DECRYPT_HPP
#define ENCRYPT_SRC_DECRYPT_HPP

#include <cstddef>
#include <cstdint>

#include "cpu_features.hpp"

namespace encrypt::detail {

// The unit whose word is `word`, or -1 when no unit gives it.
std::int32_t unit_of_word(std::uint32_t word) noexcept;

// Nearly every word has eight or seven digits. Where wide instructions can,
// those that begin at each of a block of positions are found all at once, so
// that reading a split along them waits on no root.
struct long_words {
    static constexpr std::size_t positions = 128;
    std::uint8_t found[positions];  // bit 0: a word of eight digits begins there, bit 1: one of seven
    std::uint16_t units[2][positions];  // of the word of eight digits, of the one of seven
    std::uint32_t values[positions];  // of the eight digits
};
// Finds the long words at the `count` (1 to long_words::positions) positions
// just before digits[0] to digits[count - 1], reading digits[0, count + 7),
// and returns at how many positions, from the first on, the eight digits that
// follow are all hex digits: what it found past them means nothing.
using long_words_finder = std::size_t (*)(const unsigned char* digits, std::size_t count,
                                          long_words& out) noexcept;
// The finder this CPU runs, or null: then each word is found as it comes.
long_words_finder best_long_words_finder() noexcept;
#if ENCRYPT_AVX512
std::size_t find_long_words_avx512(const unsigned char* digits, std::size_t count,
                                   long_words& out) noexcept;
bool has_avx512_long_words() noexcept;
#endif

// The length of a line without its one line end, a line feed or CR LF:
// what encrypt_decrypt() reads of a line, the same in every binding.
inline std::size_t without_line_end(const char* line, std::size_t length) noexcept {
    if (length > 0 && line[length - 1] == '\n') {
        --length;
        if (length > 0 && line[length - 1] == '\r') {
            --length;
        }
    }
    return length;
}

// Reads one line after another, each in as many pieces as it comes in, and
// hands on its text as soon as every split still possible agrees on it, so
// that a line of any length takes memory only for what stays undecided.
class line_decrypter {
public:
    enum class outcome { text, not_a_line, ambiguous, no_memory };

    // Splits are counted up to this many: "more than 999 texts".
    static constexpr std::uint32_t most_texts = 1000;
    // Text that may stay undecided; a line whose splits still disagree over
    // more than this much counts as ambiguous.
    static constexpr std::size_t most_undecided_text = std::size_t{16} << 20;
    // Nodes of undecided units kept in the object itself; more come from
    // the heap.
    static constexpr std::size_t inline_nodes = 4096;

    // Takes the next bytes of the text, in order, as they are decided.
    using emit_fn = void (*)(void* context, const unsigned char* text, std::size_t size);

    // `node_capacity` (2 to inline_nodes) makes the first arena smaller, so that
    // tests reach what happens when it is full.
    line_decrypter(emit_fn emit, void* context, std::size_t node_capacity = inline_nodes) noexcept;
    ~line_decrypter();
    line_decrypter(const line_decrypter&) = delete;
    line_decrypter& operator=(const line_decrypter&) = delete;

    // Takes the next bytes of the line (without its line end) and returns how
    // many of them it is done with. It wants the others again, in front of
    // the bytes that follow: fewer than 64 (a caption's beginning, or fewer
    // than eight digits).
    std::size_t feed(const unsigned char* bytes, std::size_t size) noexcept;
    // Takes the line's last bytes, decides it, hands on the rest of its text
    // if it has one, and makes ready for the next line. Some of the text may
    // have been handed on before the line turns out to have none.
    outcome finish(const unsigned char* bytes, std::size_t size) noexcept;
    // Drops the line under way undecided, and makes ready for the next.
    void abandon() noexcept { reset(); }
    // For an ambiguous line, how many texts give it, up to most_texts.
    std::uint32_t texts() const noexcept { return texts_; }

private:
    // A unit of a split that some line may still have; the one before it is
    // `back` nodes earlier.
    struct node_t {
        std::uint16_t unit;
        std::uint8_t back;
        bool on_path;
    };
    // What is known of a position between two digits that a split may cut at:
    // how many splits of the digits before it end there, how many of them
    // give no zero byte (counted up to 2: one or more than one), and the
    // same with the unit before it allowed to be the text's odd last one.
    // For each count, the last unit counted and the node before it: when
    // the count is 1, that is the only split.
    struct position {
        std::uint16_t splits;
        std::uint8_t zero_free;
        std::uint8_t zero_free_last;
        std::uint16_t split_unit, free_unit, last_unit;
        std::uint32_t split_node, free_node, last_node;
    };
    // The digits are read one way while a single split has them all
    // (`single`), and another while splits disagree (`digits`).
    enum class stage { start, single, digits, not_a_line, counting };
    static constexpr std::size_t window = 16;  // positions a word can reach, and more

    void reset() noexcept;
    outcome decide(const unsigned char* bytes, std::size_t size) noexcept;
    bool step(const unsigned char* digits, std::size_t available) noexcept;
    void follow_long_words() noexcept;
    bool cut_at(std::uint64_t at, std::uint32_t value, unsigned lengths) noexcept;
    bool next_cut() noexcept;
    bool make_space() noexcept;
    void decide_units_through(std::uint32_t to) noexcept;
    void decide_unit(std::uint16_t unit, bool last) noexcept;
    void hand_on() noexcept;
    void drop_nodes() noexcept;

    emit_fn emit_;
    void* context_;
    stage stage_ = stage::start;
    std::uint64_t next_ = 0;     // the next position to cut at, before the first digit fed
    std::uint32_t reached_ = 1;  // bit i: some split ends at position next_ + i
    std::uint32_t texts_ = 0;
    std::uint32_t open_texts_ = 0;  // splits still open when the limit was passed
    bool out_of_memory_ = false;
    bool positions_used_ = false;
    // While every split so far ends at position next_: what is known of it, and
    // the last unit of the split that can win, undecided while it may be
    // the text's last.
    position here_ = {};
    std::uint16_t pending_ = 0;
    bool has_pending_ = false;
    position positions_[window] = {};
    // The long words at positions ahead_from_ to ahead_from_ + ahead_count_.
    long_words_finder finder_;
    std::uint64_t ahead_from_ = 0;
    std::size_t ahead_count_ = 0;
    long_words ahead_;
    node_t* nodes_;
    std::size_t node_count_ = 0;
    std::size_t first_node_capacity_;
    std::size_t node_capacity_;
    node_t inline_nodes_[inline_nodes];
    // Decided text not yet handed on.
    unsigned char decided_[256];
    std::size_t decided_size_ = 0;
};

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_DECRYPT_HPP
