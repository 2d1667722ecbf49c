// The encrypt-lines command as a user meets it: options, files, failures,
// and a program that talks to it through pipes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "reference.hpp"
#include "refusing_heap.hpp"
#include "run_tool.hpp"

#ifndef _WIN32
#  include <poll.h>
#  include <signal.h>
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>
extern char** environ;
#endif

namespace {

using encrypt::test::invocation;
using encrypt::test::reference_lines;
using encrypt::test::run_tool;

#ifdef _WIN32
const std::string line_end = "\r\n";
const bool windows_text = true;  // a CR before the LF ends the text with it
#else
const std::string line_end = "\n";
const bool windows_text = false;
#endif

// Standard error's line ends on this platform.
std::string lines_of(const std::string& text) {
    std::string result;
    for (const char c : text) {
        result += c == '\n' ? line_end : std::string(1, c);
    }
    return result;
}

invocation lines_call(std::vector<std::string> args, std::string input = "") {
    invocation call;
    call.program = ENCRYPT_LINES_PATH;
    call.args = std::move(args);
    call.input = std::move(input);
    return call;
}

std::string by_line(const std::string& input) {
    return reference_lines(input, '\n', windows_text, line_end);
}

struct lines_case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string out;
    std::string err;
    int status;
};

const std::string texts = "abc\n\nc\nHello, world!\n\xff\xff\nno line feed";
const std::string zero_ended = std::string("a\nb\0c\0\0d", 8);
const std::string carriage_returns_before_zeros = std::string("ab\r\0\r\0c\r\n\0", 10);
const std::string try_help = "Try 'encrypt-lines --help' for more information.\n";

// Decrypting: result lines, with a line feed after every text (never CR LF).
const std::string result_lines = reference_lines(texts, '\n', false, "\n");
const std::string texts_back = texts + "\n";
std::string repeated(const std::string& piece, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += piece;
    }
    return all;
}
const std::string hard_lines = "25da76d832c8\nxyz\n" + repeated("121a394b27334", 10) + "\n" +
                               repeated("121a394b27334", 3) + "\n82a5ea91\r\n" +
                               "Encrypted data in hexadecimal format:";
const std::string hard_lines_back = "abc\n\xd2\xb6\n\n";
const std::string hard_lines_err = lines_of(
    "encrypt-lines: -:2: not a result line\n"
    "encrypt-lines: -:3: more than 999 texts give this line\n"
    "encrypt-lines: -:4: 8 texts give this line\n");
const std::string line_feed_inside = reference_lines("a\nb", '\0', false, "\n");
const std::string zero_inside = reference_lines(std::string("a\0b", 3), '\n', false, "\n");

// clang-format off
const lines_case lines_cases[] = {
    {"texts_of_standard_input", {}, texts, by_line(texts), "", 0},
    {"dash_is_standard_input", {"-"}, texts, by_line(texts), "", 0},
    {"carriage_returns", {}, "ab\r\ncd\r\r\n\r", by_line("ab\r\ncd\r\r\n\r"), "", 0},
    {"empty_input_writes_nothing", {}, "", "", "", 0},
    {"zero_bytes_with_z", {"-z"}, zero_ended, reference_lines(zero_ended, '\0', false, line_end),
     "", 0},
    {"zero_bytes_with_null", {"--null"}, zero_ended,
     reference_lines(zero_ended, '\0', false, line_end), "", 0},
    {"option_letter_repeated", {"-zz"}, zero_ended,
     reference_lines(zero_ended, '\0', false, line_end), "", 0},
    // With -z a carriage return is part of the text on every platform.
    {"z_keeps_carriage_returns", {"-z"}, carriage_returns_before_zeros,
     reference_lines(carriage_returns_before_zeros, '\0', false, line_end), "", 0},
    {"version", {"--version"}, "", lines_of("encrypt-lines (encrypt) " ENCRYPT_VERSION "\n"), "", 0},
    {"unknown_long_option", {"--bogus"}, texts, "",
     lines_of("encrypt-lines: unrecognized option '--bogus'\n" + try_help), 2},
    {"unknown_short_option", {"-zq"}, texts, "",
     lines_of("encrypt-lines: invalid option -- 'q'\n" + try_help), 2},
    {"double_dash_ends_options", {"--", "-z"}, texts, "",
     lines_of("encrypt-lines: -z: No such file or directory\n"), 1},
    {"decrypt", {"-d"}, result_lines, texts_back, "", 0},
    {"decrypt_long_option", {"--decrypt"}, result_lines, texts_back, "", 0},
    {"decrypt_reports_lines_without_one_text", {"-d"}, hard_lines, hard_lines_back,
     hard_lines_err, 1},
    {"decrypt_text_holding_a_line_feed", {"-d"}, line_feed_inside, "",
     lines_of("encrypt-lines: -:1: the text holds a line feed: separate texts by zero bytes\n"), 1},
    {"decrypt_z_ends_texts_with_zero_bytes", {"-dz"}, line_feed_inside, std::string("a\nb\0", 4),
     "", 0},
    {"decrypt_z_text_holding_a_zero_byte", {"-zd"}, zero_inside, "",
     lines_of("encrypt-lines: -:1: the text holds a zero byte: separate texts by line feeds\n"), 1},
};
// clang-format on

void PrintTo(const lines_case& value, std::ostream* out) { *out << value.name; }

class lines : public testing::TestWithParam<lines_case> {};

TEST_P(lines, write_what_encrypt_writes_for_each_text) {
    const auto& param = GetParam();
    const auto got = run_tool(lines_call(param.args, param.input));
    EXPECT_TRUE(got.out == param.out) << got.out.substr(0, 200);
    EXPECT_EQ(got.err, param.err);
    EXPECT_EQ(got.exit_status, param.status);
}

INSTANTIATE_TEST_SUITE_P(encrypt_lines, lines, testing::ValuesIn(lines_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A line whose text fails after more than the 16 MiB held back went out
// stops the output there: no terminator, nothing of the lines after it, so
// that no reader takes the two for one record.
TEST(encrypt_lines, decrypting_stops_where_a_failed_lines_text_went_out) {
    if (std::getenv("ENCRYPT_TEST_WRAPPER") != nullptr) {
        GTEST_SKIP() << "34 MB of lines take minutes under the wrapper";
    }
    std::string long_line;
    for (int i = 0; i < (17 << 20) / 2; ++i) {
        long_line += "82";  // the word of unit 0: a text of zero bytes
    }
    const auto got = run_tool(lines_call({"-d"}, "32c8\n" + long_line + "zz\n32c8\n"));
    EXPECT_EQ(got.err, lines_of("encrypt-lines: -:2: not a result line; the output stops after part "
                                "of its text\n"));
    EXPECT_EQ(got.exit_status, 1);
    EXPECT_EQ(got.out.substr(0, 2), "c\n");
    EXPECT_GT(got.out.size(), std::size_t{16} << 20);
    EXPECT_EQ(got.out.find_first_not_of('\0', 2), std::string::npos);
}

TEST(encrypt_lines, help_goes_to_standard_output) {
    const auto got = run_tool(lines_call({"--help"}));
    EXPECT_EQ(got.out.rfind("Usage: encrypt-lines [OPTION]... [FILE]..." + line_end, 0), 0u);
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(got.exit_status, 0);
}

// Files in order, standard input among them; one that cannot be opened is
// reported and the rest still read, as cat does. A file's last text ends
// with it, line feed or not.
TEST(encrypt_lines, reads_files_in_order_and_reports_those_it_cannot) {
    const auto directory = std::filesystem::temp_directory_path() /
                           ("encrypt-lines-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directory(directory);
    std::ofstream(directory / "a", std::ios::binary) << "abc";
    std::ofstream(directory / "b", std::ios::binary) << "c\nlong " << std::string(200000, 'q');
    const std::string missing = (directory / "missing").string();
    const auto got = run_tool(lines_call(
        {(directory / "a").string(), missing, "-", (directory / "b").string()}, "x\ny"));
    std::filesystem::remove_all(directory);
    EXPECT_TRUE(got.out == by_line("abc") + by_line("x\ny") +
                               by_line("c\nlong " + std::string(200000, 'q')));
    EXPECT_EQ(got.err, lines_of("encrypt-lines: " + missing + ": No such file or directory\n"));
    EXPECT_EQ(got.exit_status, 1);
}

TEST(encrypt_lines, full_disk_is_a_write_error) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full";
#endif
    auto call = lines_call({}, texts);
    call.stdout_to = encrypt::test::output_to::full_device;
    const auto got = run_tool(call);
    EXPECT_EQ(got.err, "encrypt-lines: write error: No space left on device\n");
    EXPECT_EQ(got.exit_status, 1);
}

TEST(encrypt_lines, heap_refusing_its_memory) {
    if (const auto why = encrypt::test::heap_refusal_unsupported()) {
        GTEST_SKIP() << *why;
    }
    int refused = 0;
    for (int turn = 1; turn < 20; ++turn) {
        const auto got = encrypt::test::run_with_heap(
            lines_call({}, texts), "ENCRYPT_TEST_MALLOC_REFUSE=" + std::to_string(turn));
        if (got.exit_status == 0) {
            EXPECT_TRUE(got.out == by_line(texts));
            EXPECT_EQ(got.err, "") << "after refusing request " << turn;
            break;
        }
        EXPECT_EQ(got.out, "");
        EXPECT_EQ(got.err, "encrypt-lines: memory exhausted\n");
        EXPECT_EQ(got.exit_status, 1);
        ++refused;
    }
    // One block holds all of the command's buffers; the library's stream is
    // the other.
    EXPECT_EQ(refused, 2);
}

// A program that writes one text and waits for its line, with the pipe left
// open, gets the line at once: the filter never sits on a finished line
// while it waits for more input.
TEST(encrypt_lines, answers_each_text_as_a_coprocess) {
#ifdef _WIN32
    GTEST_SKIP() << "pipes to a coprocess are made with POSIX calls here";
#else
    int to_filter[2];
    int from_filter[2];
    ASSERT_EQ(pipe(to_filter), 0);
    ASSERT_EQ(pipe(from_filter), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_filter[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_filter[1], 1);
    posix_spawn_file_actions_addclose(&actions, to_filter[1]);
    posix_spawn_file_actions_addclose(&actions, from_filter[0]);
    std::vector<std::string> command = encrypt::test::launcher();
    command.push_back(ENCRYPT_LINES_PATH);
    std::vector<char*> argv;
    for (auto& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(to_filter[0]);
    close(from_filter[1]);

    for (const std::string text : {"abc", "", "Hello, world!"}) {
        const std::string line = text + "\n";
        ASSERT_EQ(write(to_filter[1], line.data(), line.size()),
                  static_cast<ssize_t>(line.size()));
        const std::string want = encrypt::test::reference_result_line(text, "\n");
        std::string got;
        while (got.size() < want.size()) {
            pollfd ready = {from_filter[0], POLLIN, 0};
            ASSERT_EQ(poll(&ready, 1, 20000), 1) << "no line for \"" << text << "\" in 20 s";
            char chunk[256];
            const ssize_t n = read(from_filter[0], chunk, sizeof chunk);
            ASSERT_GT(n, 0);
            got.append(chunk, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(got, want);
    }
    close(to_filter[1]);
    char rest;
    EXPECT_EQ(read(from_filter[0], &rest, 1), 0) << "nothing more after the input ends";
    close(from_filter[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
}

}  // namespace
