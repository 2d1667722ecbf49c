#include "decrypt.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kernels.hpp"
#include "line.hpp"

namespace encrypt::detail {
namespace {

// Eight bytes, the first lowest on any machine.
std::uint64_t load_eight(const unsigned char* bytes) noexcept {
    std::uint64_t x;
    std::memcpy(&x, bytes, sizeof x);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int k = 0; k < 8; ++k) {
            swapped = (swapped << 8) | ((x >> (8 * k)) & 0xff);
        }
        x = swapped;
    }
    return x;
}

// Whether the eight bytes of `x` are all hex digits, in either case, each
// byte's top bit telling its answer.
bool hex_digits_only(std::uint64_t x) noexcept {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t tops = 0x8080808080808080ULL;
    // The top bit of each byte below 0x80: set where the byte is at least `low`.
    const auto at_least = [](std::uint64_t bytes, unsigned low) {
        return (bytes + (0x80 - low) * ones) & tops;
    };
    const std::uint64_t high = x & tops;
    x &= ~tops;
    const std::uint64_t lower = x | 0x2020202020202020ULL;
    const std::uint64_t digit = at_least(x, '0') & ~at_least(x, '9' + 1);
    const std::uint64_t letter = at_least(lower, 'a') & ~at_least(lower, 'f' + 1);
    return (high | (~(digit | letter) & tops)) == 0;
}

// The value of eight hex digits, the first one highest.
std::uint32_t eight_digits(std::uint64_t x) noexcept {
    // Each byte its digit's value: letters, in either case, have bit 6 set.
    x = (x & 0x0f0f0f0f0f0f0f0fULL) + 9 * ((x >> 6) & 0x0101010101010101ULL);
    x = ((x << 4) | (x >> 8)) & 0x00ff00ff00ff00ffULL;   // two digits in each 16 bits
    x = ((x << 8) | (x >> 16)) & 0x0000ffff0000ffffULL;  // four in each 32
    return static_cast<std::uint32_t>((x << 16) | (x >> 32));
}

// For the first four digits of a position, a bit for each length a word that
// begins with them has: bit 0 for two digits to bit 6 for eight. Most such
// digits begin no word of five digits or fewer, nor of seven.
constexpr auto word_lengths = [] {
    std::array<std::uint8_t, 65536> table{};
    // Kept to few steps, which compilers count when they make the table.
    for (std::uint32_t v = 0; v <= 0xffff; ++v) {
        const std::uint32_t word = mix(v);
        const auto digits = static_cast<int>((std::bit_width(word) + 3) / 4);
        if (digits >= 4) {
            table[word >> (4 * (digits - 4))] |= static_cast<std::uint8_t>(1u << (digits - 2));
        } else {
            // Every four digits that open with a shorter word.
            const std::uint32_t first = word << (4 * (4 - digits));
            for (std::uint32_t k = 0; k < (1u << (4 * (4 - digits))); ++k) {
                table[first + k] |= static_cast<std::uint8_t>(1u << (digits - 2));
            }
        }
    }
    return table;
}();

// A bit for each four digits that a word of `lengths` (bit 0 for two
// digits) begins with: few do, and in a table an eighth of the size of the
// one above.
constexpr auto begin_words_of(unsigned lengths) {
    std::array<std::uint64_t, 65536 / 64> bits{};
    for (std::size_t four = 0; four < word_lengths.size(); ++four) {
        bits[four / 64] |= std::uint64_t{(word_lengths[four] & lengths) != 0} << (four % 64);
    }
    return bits;
}
// Two to four digits: such a word begins at a position exactly where the
// position's first four digits are among these. Five or six: one may.
constexpr auto begin_very_short_words = begin_words_of(0x07);
constexpr auto may_begin_short_words = begin_words_of(0x18);

bool has_bit(const std::array<std::uint64_t, 65536 / 64>& bits, std::uint32_t four) noexcept {
    return (bits[four / 64] >> (four % 64) & 1) != 0;
}

// The number of texts, counted up to `most`.
template <class Count>
Count add(Count a, unsigned b, unsigned most) noexcept {
    return static_cast<Count>(a + b < most ? a + b : most);
}

// The unit whose word is `word`, or -1.
inline std::int32_t found_unit(std::uint32_t word) noexcept {
    // The word keeps the product's high half, and its low half is the
    // exclusive or of the product's two halves. (v + 5)(v + 26) is
    // (2v + 31)^2 / 4 - 441 / 4: the root finds v. A float's root is within
    // 1/256 of 2v + 31, which is close enough to round to it. The product
    // passes 2^32 only for v from 65521 on, and then leaves less than 2^21.
    const std::uint64_t product = word ^ (word >> 16);
    const auto root_of = [word](std::uint64_t whole) {
        const float root = std::sqrt(static_cast<float>(4 * whole + 441));
        const auto twice = static_cast<std::uint32_t>(root + 0.5f);
        const std::uint32_t v = (twice - 31) / 2;
        // No branch on whether it is a word: most tries are not.
        return twice >= 31 && v <= 0xffff && mix(v) == word ? static_cast<std::int32_t>(v) : -1;
    };
    const std::int32_t unit = root_of(product);
    return unit >= 0 || product >= (std::uint64_t{1} << 21) ? unit
                                                            : root_of(product + (std::uint64_t{1} << 32));
}

}  // namespace

std::int32_t unit_of_word(std::uint32_t word) noexcept { return found_unit(word); }

long_words_finder best_long_words_finder() noexcept {
#if ENCRYPT_AVX512
    if (has_avx512_long_words()) {
        return find_long_words_avx512;
    }
#endif
    return nullptr;
}

line_decrypter::line_decrypter(emit_fn emit, void* context, std::size_t node_capacity) noexcept
    : emit_(emit),
      context_(context),
      finder_(best_long_words_finder()),
      nodes_(inline_nodes_),
      first_node_capacity_(node_capacity < 2 ? 2 : node_capacity < inline_nodes ? node_capacity : inline_nodes),
      node_capacity_(first_node_capacity_) {
    reset();
}

line_decrypter::~line_decrypter() { drop_nodes(); }

void line_decrypter::drop_nodes() noexcept {
    if (nodes_ != inline_nodes_) {
        std::free(nodes_);
        nodes_ = inline_nodes_;
        node_capacity_ = first_node_capacity_;
    }
}

void line_decrypter::reset() noexcept {
    drop_nodes();
    stage_ = stage::start;
    next_ = 0;
    reached_ = 1;
    open_texts_ = 0;
    out_of_memory_ = false;
    has_pending_ = false;
    here_ = position{};
    here_.splits = 1;
    here_.zero_free = 1;
    decided_size_ = 0;
    ahead_count_ = 0;
    if (positions_used_) {  // only splits followed apart leave anything there
        std::memset(positions_, 0, sizeof positions_);
        positions_used_ = false;
    }
    nodes_[0] = node_t{0, 0, false};
    node_count_ = 1;
}

std::size_t line_decrypter::feed(const unsigned char* bytes, std::size_t size) noexcept {
    if (size == 0) {
        return 0;  // nothing to read, and an empty piece may have no address
    }
    std::size_t used = 0;
    if (stage_ == stage::start) {
        // The caption, whole; or none, for a line that opens with a digit.
        // Its first letter is a digit too, its second none.
        const std::size_t most = size < caption.size() ? size : caption.size();
        std::size_t same = std::memcmp(bytes, caption.data(), most) == 0 ? most : 0;
        while (same < most && bytes[same] == static_cast<unsigned char>(caption[same])) {
            ++same;
        }
        if (same == caption.size()) {
            used = same;
        } else if (same == size) {
            return 0;  // the caption's beginning so far
        }
        stage_ = same >= 2 && used == 0 ? stage::not_a_line : stage::single;
    }
    if (stage_ == stage::not_a_line) {
        return size;
    }
    bytes += used;
    size -= used;
    // bytes[0] is the digit after position next_; words need up to eight.
    std::size_t at = 0;
    while (size - at >= 8) {
        const std::uint64_t from = next_;
        if (finder_ != nullptr && stage_ == stage::single) {
            if (next_ - ahead_from_ >= ahead_count_) {
                const std::size_t positions = size - at - 7;
                ahead_from_ = next_;
                ahead_count_ = finder_(
                    bytes + at, positions < long_words::positions ? positions : long_words::positions, ahead_);
            }
            follow_long_words();
            if (next_ != from) {
                at += static_cast<std::size_t>(next_ - from);
                continue;
            }
        }
        if (!step(bytes + at, 8)) {
            return used + size;
        }
        at += static_cast<std::size_t>(next_ - from);
    }
    hand_on();
    return used + at;
}

line_decrypter::outcome line_decrypter::finish(const unsigned char* bytes,
                                               std::size_t size) noexcept {
    const outcome result = decide(bytes, size);
    hand_on();
    reset();
    return result;
}

line_decrypter::outcome line_decrypter::decide(const unsigned char* bytes,
                                               std::size_t size) noexcept {
    if (stage_ == stage::start &&
        (size == 0 || (size + 1 >= caption.size() && size <= caption.size() &&
                       std::memcmp(bytes, caption.data(), size) == 0))) {
        return outcome::text;  // an empty line, or the caption alone, trimmed or not
    }
    const std::size_t used = feed(bytes, size);
    if (stage_ == stage::start) {
        return outcome::not_a_line;  // the caption's beginning, cut short
    }
    // The last few digits, from a copy padded with zero digits.
    unsigned char last[16];
    std::memset(last, '0', sizeof last);
    std::memcpy(last, bytes + used, size - used);
    const std::uint64_t first = next_;
    const std::uint64_t end = next_ + (size - used);
    while (stage_ != stage::not_a_line && next_ < end) {
        step(last + (next_ - first), static_cast<std::size_t>(end - next_));
    }
    if (stage_ == stage::not_a_line) {
        return out_of_memory_ ? outcome::no_memory : outcome::not_a_line;
    }
    const position& line = stage_ == stage::single ? here_ : positions_[end % window];
    if (stage_ == stage::single && end == 0) {
        return outcome::text;  // the caption and no digit
    }
    if (line.splits == 0) {
        return outcome::not_a_line;
    }
    if (stage_ == stage::counting || (line.splits > 1 && line.zero_free_last != 1)) {
        texts_ = line.splits > 1 || open_texts_ == 0 ? line.splits : open_texts_;
        return outcome::ambiguous;
    }
    const bool one = line.splits == 1;
    if (stage_ == stage::single) {
        decide_unit(pending_, true);  // the last unit of the one split that wins
    } else {
        decide_units_through(one ? line.split_node : line.last_node);
        decide_unit(one ? line.split_unit : line.last_unit, true);
    }
    return outcome::text;
}

// Cuts at position next_, where digits[0] follows it and `available` digits
// are the line's, and moves next_ on to the next position a split reaches.
// False once no split goes on, or the memory ran out. Every byte of the
// line lies among the eight after some cut, which checks them.
[[gnu::always_inline]] inline bool line_decrypter::step(const unsigned char* digits,
                                                       std::size_t available) noexcept {
    const std::uint64_t eight = load_eight(digits);
    if (!hex_digits_only(eight)) {
        stage_ = stage::not_a_line;
        return false;
    }
    const std::uint32_t value = eight_digits(eight);
    const std::size_t longest = available < 8 ? available : 8;
    // The lengths a word may have here (none where a zero opens it).
    unsigned lengths = (unsigned{word_lengths[value >> 16]} << 2) & ((2u << longest) - 1);
    if (stage_ == stage::single) {
        // The words of eight and seven digits, nearly all words, looked at
        // both at once and with no branch on which is one; shorter ones
        // one by one.
        std::int32_t found = (lengths >> 8 & 1) != 0 ? found_unit(value) : -1;
        const std::int32_t seven = (lengths >> 7 & 1) != 0 ? found_unit(value >> 4) : -1;
        std::size_t length = found >= 0 ? 8 : 7;
        bool several = found >= 0 && seven >= 0;
        found = found >= 0 ? found : seven;
        for (unsigned left = lengths & 0x7c; left != 0; left &= left - 1) {
            const auto l = static_cast<std::size_t>(std::countr_zero(left));
            const std::int32_t unit = found_unit(value >> (4 * (8 - l)));
            several = several || (unit >= 0 && found >= 0);
            length = unit >= 0 && found < 0 ? l : length;
            found = unit >= 0 && found < 0 ? unit : found;
        }
        if (found < 0) {
            stage_ = stage::not_a_line;
            return false;
        }
        if (!several) {
            // Every split here goes on with this word. The one that can win,
            // if one still can, has its last unit decided now.
            if (has_pending_ && (here_.splits == 1 || here_.zero_free == 1)) {
                decide_unit(pending_, false);
            }
            const auto unit = static_cast<std::uint16_t>(found);
            here_.zero_free_last = (unit & 0xff) != 0 ? here_.zero_free : 0;
            here_.zero_free = (unit & 0xff) != 0 && (unit >> 8) != 0 ? here_.zero_free : 0;
            pending_ = unit;
            has_pending_ = true;
            next_ += length;
            return true;
        }
        // Several words: the splits are followed apart from here on, the
        // undecided unit the first node after what is decided.
        position& here = positions_[next_ % window];
        here = here_;
        here.split_unit = here.free_unit = here.last_unit = pending_;
        here.split_node = here.free_node = here.last_node = 0;
        reached_ = 1;
        stage_ = stage::digits;
        has_pending_ = false;
        positions_used_ = true;
    }
    if (!cut_at(next_, value, lengths) || !next_cut()) {
        return false;
    }
    // Back to one position that every split reaches, where one can still win:
    // all of it before its last unit is decided.
    const position& there = positions_[next_ % window];
    if (reached_ == 1 && stage_ == stage::digits && (there.splits == 1 || there.zero_free == 1)) {
        const bool one = there.splits == 1;
        decide_units_through(one ? there.split_node : there.free_node);
        pending_ = one ? there.split_unit : there.free_unit;
        has_pending_ = true;
        here_ = there;
        positions_[next_ % window] = position{};
        node_count_ = 1;
        stage_ = stage::single;
    }
    return true;
}

// As step() while one split has every digit, along the long words found
// ahead: as far as each position begins one word, a long one, and no other.
// The digits need no second look there (the finder checked them), and
// the split's state stays in local variables, which the text's bytes,
// stored one by one, cannot alias as they may any member.
void line_decrypter::follow_long_words() noexcept {
    const std::uint64_t from = ahead_from_;
    const std::uint64_t end = ahead_from_ + ahead_count_;
    const bool one_split = here_.splits == 1;
    std::uint64_t next = next_;
    std::uint8_t zero_free = here_.zero_free;
    std::uint8_t zero_free_last = here_.zero_free_last;
    std::uint16_t pending = pending_;
    bool has_pending = has_pending_;
    std::size_t decided = decided_size_;
    while (next < end) {
        const auto at = static_cast<std::size_t>(next - from);
        const unsigned found = ahead_.found[at];
        const std::uint32_t value = ahead_.values[at];
        if ((found != 1 && found != 2) || has_bit(begin_very_short_words, value >> 16) ||
            (has_bit(may_begin_short_words, value >> 16) &&
             (found_unit(value >> 8) >= 0 || found_unit(value >> 12) >= 0))) {
            break;
        }
        const std::uint16_t unit = ahead_.units[found - 1][at];  // with no branch on which
        if (has_pending && (one_split || zero_free == 1)) {
            if (decided + 2 > sizeof decided_) {
                decided_size_ = decided;
                hand_on();
                decided = 0;
            }
            decided_[decided] = static_cast<unsigned char>(pending & 0xff);
            decided_[decided + 1] = static_cast<unsigned char>(pending >> 8);
            decided += 2;
        }
        zero_free_last = (unit & 0xff) != 0 ? zero_free : 0;
        zero_free = (unit & 0xff) != 0 && (unit >> 8) != 0 ? zero_free : 0;
        pending = unit;
        has_pending = true;
        next += 9 - found;
    }
    next_ = next;
    here_.zero_free = zero_free;
    here_.zero_free_last = zero_free_last;
    pending_ = pending;
    has_pending_ = has_pending;
    decided_size_ = decided;
}

// Takes the position `at` as a cut: makes the node of its one split, if it has
// one that can win, and counts the splits of each word that follows it.
bool line_decrypter::cut_at(std::uint64_t at, std::uint32_t value, unsigned lengths) noexcept {
    if (node_count_ == node_capacity_ && !make_space()) {
        out_of_memory_ = true;
        stage_ = stage::not_a_line;
        return false;
    }
    const position here = positions_[at % window];
    positions_[at % window] = position{};
    std::uint32_t node = 0;
    if (at != 0 && stage_ == stage::digits && (here.splits == 1 || here.zero_free == 1)) {
        const bool one = here.splits == 1;
        const std::uint32_t parent = one ? here.split_node : here.free_node;
        nodes_[node_count_] = node_t{one ? here.split_unit : here.free_unit,
                                     static_cast<std::uint8_t>(node_count_ - parent), false};
        node = static_cast<std::uint32_t>(node_count_++);
    }
    for (; lengths != 0; lengths &= lengths - 1) {
        const auto length = static_cast<std::size_t>(std::countr_zero(lengths));
        const std::uint32_t word = value >> (4 * (8 - length));
        const std::int32_t found = found_unit(word);
        if (found < 0) {
            continue;
        }
        const auto unit = static_cast<std::uint16_t>(found);
        position& there = positions_[(at + length) % window];
        reached_ |= 1u << length;
        there.splits = add(there.splits, here.splits, most_texts);
        there.split_unit = unit;
        there.split_node = node;
        if (here.zero_free != 0 && (unit & 0xff) != 0) {
            there.zero_free_last = add(there.zero_free_last, here.zero_free, 2);
            there.last_unit = unit;
            there.last_node = node;
            if ((unit >> 8) != 0) {
                there.zero_free = add(there.zero_free, here.zero_free, 2);
                there.free_unit = unit;
                there.free_node = node;
            }
        }
    }
    return true;
}

// Moves next_ to the next position that some split ends at; false when none
// does, and the line has no split.
bool line_decrypter::next_cut() noexcept {
    reached_ &= ~1u;
    if (reached_ == 0) {
        stage_ = stage::not_a_line;
        return false;
    }
    const int step = std::countr_zero(reached_);
    next_ += static_cast<unsigned>(step);
    reached_ >>= step;
    return true;
}

// The arena is full: what every split that can still win agrees on is
// decided and dropped. What stays undecided may take more space, up to the
// limit; past it, or where no split can win any more, only the splits are
// counted.
bool line_decrypter::make_space() noexcept {
    std::uint32_t open[3 * window];
    std::size_t count = 0;
    std::uint32_t splits = 0;
    for (const position& p : positions_) {
        splits += p.splits;
        if (p.splits == 1) {
            open[count++] = p.split_node;
        }
        if (p.zero_free == 1) {
            open[count++] = p.free_node;
        }
        if (p.zero_free_last == 1) {
            open[count++] = p.last_node;
        }
    }
    if (count == 0) {
        stage_ = stage::counting;
        node_count_ = 1;
        return true;
    }
    // The nearest node every open split goes through: the latest of them
    // steps back until all meet, as a node comes after the one before it.
    for (;;) {
        std::uint32_t latest = 0;
        std::uint32_t earliest = open[0];
        for (std::size_t i = 0; i < count; ++i) {
            latest = open[i] > latest ? open[i] : latest;
            earliest = open[i] < earliest ? open[i] : earliest;
        }
        if (latest == earliest) {
            break;
        }
        for (std::size_t i = 0; i < count; ++i) {
            open[i] -= open[i] == latest ? nodes_[latest].back : 0;
        }
    }
    const std::uint32_t decided = open[0];
    decide_units_through(decided);
    hand_on();
    std::memmove(nodes_, nodes_ + decided, (node_count_ - decided) * sizeof(node_t));
    node_count_ -= decided;
    for (position& p : positions_) {
        p.split_node -= p.split_node >= decided ? decided : p.split_node;
        p.free_node -= p.free_node >= decided ? decided : p.free_node;
        p.last_node -= p.last_node >= decided ? decided : p.last_node;
    }
    // Two bytes a node: past the limit the line counts as ambiguous.
    if (2 * node_count_ > most_undecided_text) {
        open_texts_ = splits < most_texts ? splits : most_texts;
        stage_ = stage::counting;
        node_count_ = 1;
        return true;
    }
    if (node_count_ <= node_capacity_ / 2) {
        return true;
    }
    // Twice the arena there is: dropping the old one resets its size.
    const std::size_t space = 2 * node_capacity_;
    auto* grown = static_cast<node_t*>(std::malloc(space * sizeof(node_t)));
    if (grown == nullptr) {
        return false;
    }
    std::memcpy(grown, nodes_, node_count_ * sizeof(node_t));
    drop_nodes();
    nodes_ = grown;
    node_capacity_ = space;
    return true;
}

// The units from the last one decided to node `to` are decided.
void line_decrypter::decide_units_through(std::uint32_t to) noexcept {
    for (std::uint32_t i = to; i != 0; i -= nodes_[i].back) {
        nodes_[i].on_path = true;
    }
    for (std::uint32_t i = 1; i <= to; ++i) {
        if (nodes_[i].on_path) {
            decide_unit(nodes_[i].unit, false);
        }
    }
}

// A decided unit joins the text: both its bytes, or only the low one for
// the text's last unit when its high byte is zero.
void line_decrypter::decide_unit(std::uint16_t unit, bool last) noexcept {
    if (decided_size_ + 2 > sizeof decided_) {
        hand_on();
    }
    decided_[decided_size_++] = static_cast<unsigned char>(unit & 0xff);
    if (!last || (unit >> 8) != 0) {
        decided_[decided_size_++] = static_cast<unsigned char>(unit >> 8);
    }
}

void line_decrypter::hand_on() noexcept {
    if (decided_size_ != 0) {
        emit_(context_, decided_, decided_size_);
        decided_size_ = 0;
    }
}

}  // namespace encrypt::detail
