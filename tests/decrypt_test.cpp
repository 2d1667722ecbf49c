// Decrypting a result line to its text, through the C interface and the
// decrypter itself, against the known answers and the reference.
#include <encrypt/encrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "decrypt.hpp"
#include "reference.hpp"
#include "vectors.hpp"

namespace {

using namespace std::string_literals;

struct decrypted {
    std::ptrdiff_t result;  // a length, or ENCRYPT_NOT_A_LINE, ...
    std::string text;
    std::uint32_t texts = 0;
};

decrypted decrypt(const std::string& line) {
    // Exactly as long as the line, so that a read past it is caught.
    std::vector<char> copy(line.begin(), line.end());
    std::vector<char> out(encrypt_decrypt_capacity(line.size()), '#');
    decrypted got;
    got.result = encrypt_decrypt(out.data(), copy.data(), copy.size(), &got.texts);
    if (got.result >= 0) {
        got.text.assign(out.data(), static_cast<std::size_t>(got.result));
        EXPECT_EQ(out[static_cast<std::size_t>(got.result)], '\0');
    }
    return got;
}

// What a text's line gives back: the text, but for an even one ending in a
// zero byte, which stands for the odd text without it.
std::string canonical(std::string text) {
    if (text.size() % 2 == 0 && !text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

const std::string caption = "Encrypted data in hexadecimal format: ";

// Every known line, as it is and with a line end (unless its own last byte
// is a carriage return), gives its text, or fails with the library's code
// and message.
TEST(decrypt, known_lines_give_their_text_or_say_why_not) {
    for (const auto& answer : encrypt::test::line_answers()) {
        const bool ends_in_cr = !answer.line.empty() && answer.line.back() == '\r';
        for (const std::string line_end : {"", "\n", "\r\n"}) {
            if (ends_in_cr && !line_end.empty()) {
                continue;
            }
            const decrypted got = decrypt(answer.line + line_end);
            if (answer.gives_text) {
                EXPECT_TRUE(got.result >= 0 && got.text == answer.text) << answer.line << line_end.size();
                continue;
            }
            EXPECT_EQ(got.result, answer.code == "ambiguous" ? ENCRYPT_AMBIGUOUS : ENCRYPT_NOT_A_LINE)
                << answer.line;
            char reason[ENCRYPT_REASON_SIZE];
            EXPECT_EQ(encrypt_reason(reason, got.result, got.texts), answer.message);
        }
    }
}

TEST(unit_of_word, finds_every_unit_and_nothing_else) {
    for (std::uint32_t unit = 0; unit <= 0xffff; ++unit) {
        const std::uint32_t word = encrypt_reference_mix(unit);
        ASSERT_EQ(encrypt::detail::unit_of_word(word), static_cast<std::int32_t>(unit));
        ASSERT_EQ(encrypt::detail::unit_of_word(word ^ 0x10000), -1) << unit;
        ASSERT_EQ(encrypt::detail::unit_of_word(word + 2), -1) << unit;
    }
}

// The wide finder, where this CPU has one, against the words found one by
// one: every unit's word at some position of a block of random digits in
// either case, read from exactly the bytes it may read; and no position that
// reaches a byte that is no hex digit.
TEST(long_words, are_the_words_found_one_by_one) {
    const encrypt::detail::long_words_finder finder = encrypt::detail::best_long_words_finder();
    if (finder == nullptr) {
        GTEST_SKIP() << "this CPU has no wide finder";
    }
    std::mt19937 random(2026);
    const std::string hex = "0123456789abcdefABCDEF";
    const std::string not_hex = "/:@G`g \n\x80\xb0\xc1";
    encrypt::detail::long_words found{};
    for (std::uint32_t unit = 0; unit <= 0xffff; ++unit) {
        const std::size_t count = 1 + random() % encrypt::detail::long_words::positions;
        std::string digits(count + 7, '0');
        for (char& digit : digits) {
            digit = hex[random() % hex.size()];
        }
        char word[9];
        const auto length = static_cast<std::size_t>(
            std::snprintf(word, sizeof word, "%x", encrypt_reference_mix(unit)));
        digits.replace(random() % (digits.size() - length + 1), length, word);
        std::size_t covered = count;
        if (unit % 8 == 0) {
            const std::size_t bad = random() % digits.size();
            digits[bad] = not_hex[random() % not_hex.size()];
            covered = std::min(count, bad > 7 ? bad - 7 : 0);
        }
        const std::vector<unsigned char> exact(digits.begin(), digits.end());
        ASSERT_EQ(finder(exact.data(), count, found), covered) << digits;
        for (std::size_t position = 0; position < covered; ++position) {
            const auto value =
                static_cast<std::uint32_t>(std::stoul(digits.substr(position, 8), nullptr, 16));
            const std::int32_t eight =
                digits[position] == '0' ? -1 : encrypt::detail::unit_of_word(value);
            const std::int32_t seven =
                digits[position] == '0' ? -1 : encrypt::detail::unit_of_word(value >> 4);
            ASSERT_EQ(found.found[position], (eight >= 0 ? 1 : 0) | (seven >= 0 ? 2 : 0))
                << digits << " " << position;
            ASSERT_TRUE(eight < 0 || found.units[0][position] == eight) << digits << " " << position;
            ASSERT_TRUE(seven < 0 || found.units[1][position] == seven) << digits << " " << position;
            ASSERT_EQ(found.values[position], value);
        }
    }
}

// The reference's random texts, every byte value among them, back from
// their lines: the text itself, or where a zero byte lets more than one text
// give the line, a text without one, or the count of them.
TEST(round_trips, give_back_every_text) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 300, '\0');
        for (char& c : text) {
            c = static_cast<char>(round % 2 == 0 ? random() : ' ' + random() % 95);
        }
        const std::string line = encrypt::test::reference_result_line(text, "\n");
        const decrypted got = decrypt(round % 3 == 0 ? line.substr(caption.size()) : line);
        if (text.find('\0') == std::string::npos) {
            ASSERT_EQ(got.text, text) << "round " << round;
        } else if (got.result == ENCRYPT_AMBIGUOUS) {
            ASSERT_GE(got.texts, 2u);
        } else {
            ASSERT_GE(got.result, 0);
            ASSERT_TRUE(got.text == canonical(text) || got.text.find('\0') == std::string::npos);
        }
    }
}

// The decrypter fed a line in pieces of every size, each time with what it
// wants again in front, gives what it gives for the line whole.
TEST(line_decrypter, reads_a_line_in_pieces_of_any_size) {
    std::string text;
    for (int byte = 1; byte < 256; ++byte) {
        text.push_back(static_cast<char>(byte));
    }
    for (const std::string& line :
         {encrypt::test::reference_result_line(text, ""), "82a5ea91"s, "121a394b27334"s, caption}) {
        const decrypted whole = decrypt(line);
        for (std::size_t piece = 1; piece <= 70; ++piece) {
            std::string got;
            encrypt::detail::line_decrypter decrypter(
                [](void* to, const unsigned char* bytes, std::size_t size) {
                    static_cast<std::string*>(to)->append(reinterpret_cast<const char*>(bytes),
                                                          size);
                },
                &got);
            std::string pending;
            for (std::size_t at = 0; at < line.size(); at += piece) {
                pending += line.substr(at, piece);
                const auto* bytes = reinterpret_cast<const unsigned char*>(pending.data());
                pending.erase(0, decrypter.feed(bytes, pending.size()));
                ASSERT_LT(pending.size(), 64u);
            }
            const auto outcome = decrypter.finish(
                reinterpret_cast<const unsigned char*>(pending.data()), pending.size());
            ASSERT_EQ(outcome == encrypt::detail::line_decrypter::outcome::text, whole.result >= 0)
                << "pieces of " << piece;
            if (whole.result >= 0) {
                ASSERT_EQ(got, whole.text) << "pieces of " << piece;
            }
        }
    }
}

}  // namespace
