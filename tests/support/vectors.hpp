// The known answers of tests/vectors/vectors.tsv, which every binding's
// tests read: texts with their lines, and lines with their texts or why
// they have none. The file is built into the test program, so that it is
// at hand wherever the program runs (under qemu or wine too).
#ifndef ENCRYPT_TESTS_VECTORS_HPP
#define ENCRYPT_TESTS_VECTORS_HPP

#include <string>
#include <vector>

namespace encrypt::test {

struct text_answer {
    std::string text;
    std::string line;  // with its line feed
};

struct line_answer {
    std::string line;     // without a line end
    bool gives_text;
    std::string text;     // where it gives one
    std::string code;     // else "not_a_line" or "ambiguous"
    std::string message;  // and what the library says
};

const std::vector<text_answer>& text_answers();
const std::vector<line_answer>& line_answers();

}  // namespace encrypt::test

#endif  // ENCRYPT_TESTS_VECTORS_HPP
