#include "vectors.hpp"

#include <cstdlib>
#include <sstream>

extern "C" const char encrypt_vectors_tsv[];  // vectors_data.c, made by CMake

namespace encrypt::test {
namespace {

std::string from_hex(const std::string& digits) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

struct all_answers {
    std::vector<text_answer> texts;
    std::vector<line_answer> lines;
};

const all_answers& answers() {
    static const all_answers parsed = [] {
        all_answers all;
        std::istringstream file(encrypt_vectors_tsv);
        for (std::string row; std::getline(file, row);) {
            std::vector<std::string> fields;
            std::istringstream cells(row);
            for (std::string cell; std::getline(cells, cell, '\t');) {
                fields.push_back(cell);
            }
            fields.resize(5);
            if (fields[0] == "encrypt") {
                all.texts.push_back({from_hex(fields[1]), from_hex(fields[2])});
            } else if (fields[0] == "decrypt") {
                const bool gives_text = fields[2] == "text";
                all.lines.push_back({from_hex(fields[1]), gives_text,
                                     gives_text ? from_hex(fields[3]) : "",
                                     gives_text ? "" : fields[3], gives_text ? "" : fields[4]});
            }
        }
        return all;
    }();
    return parsed;
}

}  // namespace

const std::vector<text_answer>& text_answers() { return answers().texts; }
const std::vector<line_answer>& line_answers() { return answers().lines; }

}  // namespace encrypt::test
