// Both commands when the system misbehaves: writes to standard output that
// take part of what they were given or are interrupted by a signal, a close
// of standard output that fails, and a read of a file that fails midway.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "misbehaving_system.hpp"
#include "reference.hpp"
#include "run_tool.hpp"

namespace {

using encrypt::test::reference_lines;
using encrypt::test::reference_result_line;

std::string printable_text(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::string text(length, ' ');
    for (char& c : text) {
        c = static_cast<char>(' ' + random() % 95);
    }
    return text;
}

// Many lines for encrypt-lines, so that its output leaves in several writes.
std::string many_lines() {
    std::string lines;
    for (int i = 0; i < 3000; ++i) {
        lines += printable_text(static_cast<std::size_t>(i % 70), static_cast<unsigned>(i)) + "\n";
    }
    return lines;
}

std::string by_line(const std::string& input) { return reference_lines(input, '\n', false, "\n"); }

const std::string long_text = printable_text(131071, 1);
const std::string lines_input = many_lines();
// The file whose read fails: the first 14 bytes arrive, ending in the text
// in progress "p", which ends where the file failed.
const std::string failing_file = "abc\nline two\npartial text";
const std::string next_file = "next\n";
// The same for decrypting: the read fails 9 bytes into the second line,
// which is not read back at all; the next file's second line is no result line.
const std::string failing_lines = by_line("abc\nline two\n");
const std::string next_lines = by_line("next\n") + "not a line\n";

struct fault_case {
    const char* name;
    bool lines;                     // encrypt-lines, else encrypt
    std::vector<std::string> args;  // "{failing}" and "{next}" name the two files
    std::string input;
    std::string setting;
    std::string out;
    std::string err;  // "{failing}" names the file
    int status;
    std::string report;  // how the library's report begins
};


const fault_case fault_cases[] = {
    {"encrypt_one_byte_writes",
     false,
     {"Hello, world!"},
     "",
     "one-byte-writes",
     reference_result_line("Hello, world!", "\n"),
     "",
     0,
     "misbehave: 88 short writes"},
    {"encrypt_half_writes",
     false,
     {long_text},
     "",
     "half-writes",
     reference_result_line(long_text, "\n"),
     "",
     0,
     "misbehave: 19 short writes"},
    {"encrypt_interrupted_writes",
     false,
     {long_text},
     "",
     "interrupted-writes",
     reference_result_line(long_text, "\n"),
     "",
     0,
     "misbehave: 1 interrupted writes"},
    {"encrypt_failing_close",
     false,
     {"abc"},
     "",
     "failing-close",
     reference_result_line("abc", "\n"),
     "encrypt: write error: Input/output error\n",
     1,
     "misbehave: close failed"},
    {"lines_one_byte_writes",
     true,
     {},
     lines_input,
     "one-byte-writes",
     by_line(lines_input),
     "",
     0,
     "misbehave: "},
    {"lines_half_writes",
     true,
     {},
     lines_input,
     "half-writes",
     by_line(lines_input),
     "",
     0,
     "misbehave: "},
    {"lines_interrupted_writes",
     true,
     {},
     lines_input,
     "interrupted-writes",
     by_line(lines_input),
     "",
     0,
     "misbehave: "},
    {"lines_failing_close",
     true,
     {},
     lines_input,
     "failing-close",
     by_line(lines_input),
     "encrypt-lines: write error: Input/output error\n",
     1,
     "misbehave: close failed"},
    {"lines_failing_read",
     true,
     {"{failing}", "{next}"},
     "",
     "failing-read:14",
     by_line(failing_file.substr(0, 14)) + by_line(next_file),
     "encrypt-lines: {failing}: Input/output error\n",
     1,
     "misbehave: read failed"},
    {"decrypt_failing_read",
     true,
     {"-d", "{failing_lines}", "{next_lines}"},
     "",
     "failing-read:60",
     "abc\nnext\n",
     "encrypt-lines: {failing_lines}: Input/output error\n"
     "encrypt-lines: {next_lines}:2: not a result line\n",
     1,
     "misbehave: read failed"},
};

void PrintTo(const fault_case& value, std::ostream* out) { *out << value.name; }

std::string with_files(std::string text, const std::filesystem::path& directory) {
    for (const char* name : {"{failing}", "{next}", "{failing_lines}", "{next_lines}"}) {
        const std::string file = std::string(name).substr(1, std::string(name).size() - 2);
        const std::string path = (directory / file).string();
        for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
            text.replace(at, std::string(name).size(), path);
        }
    }
    return text;
}

class system_faults : public testing::TestWithParam<fault_case> {
protected:
    void SetUp() override {
        if (const auto why = encrypt::test::misbehaviour_unsupported()) {
            GTEST_SKIP() << *why;
        }
        directory_ = std::filesystem::temp_directory_path() /
                     ("encrypt-faults-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directory(directory_);
        std::ofstream(directory_ / "failing", std::ios::binary) << failing_file;
        std::ofstream(directory_ / "next", std::ios::binary) << next_file;
        std::ofstream(directory_ / "failing_lines", std::ios::binary) << failing_lines;
        std::ofstream(directory_ / "next_lines", std::ios::binary) << next_lines;
    }
    void TearDown() override {
        if (!directory_.empty()) {
            std::filesystem::remove_all(directory_);
        }
    }

    std::filesystem::path directory_;
};

// Short writes and interrupted ones still give every byte, once and in
// order, and success; a failing close or read is reported and fails the run.
TEST_P(system_faults, give_the_whole_output_or_report_the_failure) {
    const auto& param = GetParam();
    encrypt::test::invocation call;
    if (param.lines) {
        call.program = ENCRYPT_LINES_PATH;
    }
    for (const auto& arg : param.args) {
        call.args.push_back(with_files(arg, directory_));
    }
    call.input = param.input;
    std::string report;
    const auto got = encrypt::test::run_misbehaving(call, param.setting, report);
    EXPECT_TRUE(got.out == param.out)
        << "wrote " << got.out.size() << " bytes, not " << param.out.size();
    EXPECT_EQ(got.err, with_files(param.err, directory_));
    EXPECT_EQ(got.exit_status, param.status);
    EXPECT_EQ(report.rfind(param.report, 0), 0u) << "the misbehaving calls said: " << report;
    EXPECT_EQ(report.find("misbehave: 0 "), std::string::npos) << "nothing misbehaved";
}

INSTANTIATE_TEST_SUITE_P(cli, system_faults, testing::ValuesIn(fault_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
