// The command as a user meets it: exact bytes on each stream and the status.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "reference.hpp"
#include "refusing_heap.hpp"
#include "run_tool.hpp"

namespace {

using encrypt::test::heap_refusal_unsupported;
using encrypt::test::invocation;
using encrypt::test::output_to;
using encrypt::test::reference_result_line;
using encrypt::test::run_tool;
using encrypt::test::run_with_heap;

#ifdef _WIN32
// Standard output is in text mode there: the runtime writes each line feed as CR LF.
const std::string line_end = "\r\n";
#else
const std::string line_end = "\n";
#endif

const std::string caption = "Encrypted data in hexadecimal format: ";

void expect_result(const encrypt::test::outcome& got, const std::string& out, int status,
                   const std::string& err = "") {
    EXPECT_EQ(got.out, out);
    EXPECT_EQ(got.err, err);
    EXPECT_FALSE(got.signal.has_value()) << "ended by signal " << got.signal.value_or(0);
    EXPECT_EQ(got.exit_status, status);
}

TEST(usage, names_the_program_as_invoked) {
    invocation call;
    call.argv0 = "my-encrypt";
    const auto expected_name = encrypt::test::delivered_argv0(call);
    expect_result(run_tool(call), "Usage: " + expected_name + " <text to encrypt>" + line_end, 1);
}

TEST(usage, shows_the_path_it_was_started_by) {
    const invocation call;  // argument 0 is the tool's own path
    expect_result(run_tool(call),
                  "Usage: " + encrypt::test::tool_path() + " <text to encrypt>" + line_end, 1);
}

TEST(usage, empty_argument_vector_shows_the_command_name) {
    if (const auto why = encrypt::test::empty_argv_unsupported()) {
        GTEST_SKIP() << *why;
    }
    invocation call;
    call.empty_argument_vector = true;
    expect_result(run_tool(call), "Usage: encrypt <text to encrypt>" + line_end, 1);
}

struct text_case {
    const char* name;
    std::vector<std::string> args;
    std::string digits;
};

const text_case text_cases[] = {
    {"abc", {"abc"}, "25da76d832c8"},
    {"empty_text", {""}, ""},
    {"extra_arguments_are_ignored", {"abc", "def", "-x"}, "25da76d832c8"},
    {"odd_length", {"c"}, "32c8"},
    {"high_bytes", {"\x80\x81\xfe"}, "4191ae9311b49"},
    {"unit_ffff_wraps", {"\xff\xff"}, "1d0079"},
    {"leading_zeros_dropped",
     {"Hello, world!"},
     "281e00642df842de7bbbdaf377d061f3334db20277090568c2"},
    {"option_like_text_is_text", {"--help"}, "7fe55202837aa6d316c7a4a"},
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const text_case& value, std::ostream* out) { *out << value.name; }

class texts : public testing::TestWithParam<text_case> {};

TEST_P(texts, print_the_caption_and_every_word) {
    const auto& param = GetParam();
    invocation call;
    call.args = param.args;
    const auto got = run_tool(call);
    expect_result(got, caption + param.digits + line_end, 0);
    expect_result(got, reference_result_line(param.args[0], line_end), 0);
}

INSTANTIATE_TEST_SUITE_P(cli, texts, testing::ValuesIn(text_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(texts, every_byte_value) {
    std::string text;
    for (int byte = 1; byte < 256; ++byte) {
        text.push_back(static_cast<char>(byte));
    }
    invocation call;
    call.args = {text};
    expect_result(run_tool(call), reference_result_line(text, line_end), 0);
}

// Every word of "ab" has eight digits, so that the line fills its buffer to
// the last byte with the line feed: buffers of both kinds the command makes,
// from the heap and mapped on its own.
TEST(texts, line_fills_its_buffer_to_the_last_byte) {
    for (const std::size_t units : {1u, 123u, 124u, 8187u, 8188u, 16000u}) {
        std::string text;
        for (std::size_t i = 0; i < units; ++i) {
            text += "ab";
        }
        invocation call;
        call.args = {text};
        expect_result(run_tool(call), reference_result_line(text, line_end), 0);
    }
}

TEST(texts, longest_argument_the_system_delivers) {
#ifdef _WIN32
    // A command line holds at most 32,767 characters, the tool's path included.
    const std::size_t longest = 32000;
#else
    const std::size_t longest = 131071;  // MAX_ARG_STRLEN - 1
#endif
    std::mt19937 random(131071);
    std::string text(longest, '\0');
    for (char& c : text) {
        c = static_cast<char>(1 + random() % 255);  // no zero byte: it would end the argument
    }
    invocation call;
    call.args = {text};
    expect_result(run_tool(call), reference_result_line(text, line_end), 0);
}

// The line leaves in one write: runs appending to one file at once cannot
// cut into each other's lines, as a line sent in pieces could be.
TEST(texts, lines_appended_at_once_stay_whole) {
#ifdef _WIN32
    GTEST_SKIP() << "the C runtime appends with a seek and a write of its own";
#endif
    const auto file = std::filesystem::temp_directory_path() /
                      ("encrypt-append-" + std::to_string(std::random_device{}()));
    std::ofstream{file};
    invocation call;
    call.args = {std::string(131071, 'a')};
    call.stdout_to = output_to::append_file;
    call.append_to = file.string();
    // Fewer under valgrind, where each run takes a second.
    const int run_count = encrypt::test::launcher().empty() ? 32 : 4;
    std::vector<std::thread> runs;
    for (int run = 0; run < run_count; ++run) {
        runs.emplace_back([&call] { run_tool(call); });
    }
    for (auto& run : runs) {
        run.join();
    }
    std::ifstream in(file, std::ios::binary);
    const std::string appended((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(file);
    std::string expected;
    for (int run = 0; run < run_count; ++run) {
        expected += reference_result_line(call.args[0], line_end);
    }
    EXPECT_TRUE(appended == expected) << "the appended lines are broken";
}

TEST(failures, full_disk_is_a_write_error) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full";
#endif
    invocation call;
    call.args = {"abc"};
    call.stdout_to = output_to::full_device;
    expect_result(run_tool(call), "", 1,
                  "encrypt: write error: No space left on device" + line_end);

    invocation usage;
    usage.stdout_to = output_to::full_device;
    expect_result(run_tool(usage), "", 1,
                  "encrypt: write error: No space left on device" + line_end);
}

TEST(failures, closed_stdout_is_a_write_error) {
    invocation call;
    call.args = {"abc"};
    call.stdout_to = output_to::closed;
    expect_result(run_tool(call), "", 1, "encrypt: write error: Bad file descriptor" + line_end);
}

TEST(failures, pipe_taking_part_of_the_line_is_a_write_error) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows pipes here are not made non-blocking";
#endif
    // The line (524,323 bytes) overflows the pipe: the write that finds it
    // full fails with EAGAIN after earlier bytes went through.
    invocation call;
    call.args = {std::string(131071, 'x')};
    call.stdout_to = output_to::nonblocking_pipe;
    const auto got = run_tool(call);
    EXPECT_EQ(got.exit_status, 1);
    EXPECT_EQ(got.err, "encrypt: write error: Resource temporarily unavailable\n");
    const std::string line = reference_result_line(call.args[0], line_end);
    EXPECT_LT(got.out.size(), line.size());
    EXPECT_EQ(line.compare(0, got.out.size(), got.out), 0) << "the bytes written are the line's";
}

TEST(failures, reader_gone) {
    invocation call;
    call.args = {std::string(20000, 'x')};
    call.stdout_to = output_to::broken_pipe;
    const auto got = run_tool(call);
#ifdef _WIN32
    // No SIGPIPE: the failed write is reported like any other.
    EXPECT_EQ(got.exit_status, 1);
    EXPECT_EQ(got.err.rfind("encrypt: write error: ", 0), 0u) << got.err;
#else
    // Ended quietly by SIGPIPE's default action, as Unix tools are.
    EXPECT_EQ(got.signal, SIGPIPE);
    EXPECT_EQ(got.err, "");
#endif
    EXPECT_EQ(got.out, "");
}

// Wildcards in the argument: on Windows the C runtime's start-up expands an
// unquoted pattern before main() runs, as the 32-bit Windows console that the
// tool targets does, taking the first matching name in an order that ignores
// case; on Linux that is the shell's business and the tool takes the text as
// it is.
struct wildcard_case {
    const char* name;
    std::string argument;
    bool quoted;
    std::string text_on_windows;  // on Linux the text is always the argument
};

const wildcard_case wildcard_cases[] = {
    {"matching_nothing_arrives_unchanged", "no-*-match?.txt", false, "no-*-match?.txt"},
    {"matching_one_file", "only-*.log", false, "only-file.log"},
    {"first_of_several_ignoring_case", "*.txt", false, "b.txt"},
    {"question_mark", "?.txt", false, "b.txt"},
    {"quoted_stays_literal", "*.txt", true, "*.txt"},
    {"directory_part_is_kept", "sub\\*.txt", false, "sub\\x.txt"},
};

void PrintTo(const wildcard_case& value, std::ostream* out) { *out << value.name; }

class wildcards : public testing::TestWithParam<wildcard_case> {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("encrypt-wildcards-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directory(directory_);
        // C.txt sorts before b.txt by byte value, after it ignoring case.
        std::filesystem::create_directory(directory_ / "sub");
        for (const char* file : {"only-file.log", "C.txt", "b.txt", "sub/x.txt"}) {
            std::ofstream(directory_ / file) << "x";
        }
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    std::filesystem::path directory_;
};

TEST_P(wildcards, reach_the_tool_as_the_platform_delivers_them) {
    const auto& param = GetParam();
    invocation call;
    call.args = {param.argument};
    call.quote_arguments = param.quoted;
    call.working_directory = directory_.string();
#ifdef _WIN32
    const std::string& text = param.text_on_windows;
#else
    const std::string& text = param.argument;
#endif
    expect_result(run_tool(call), reference_result_line(text, line_end), 0);
}

INSTANTIATE_TEST_SUITE_P(cli, wildcards, testing::ValuesIn(wildcard_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Hard command lines without wildcards: the text the command takes is
// exactly the argument 1 that the C runtime's own start-up makes of the
// same line, which the commands read again only to know what was quoted.
TEST(windows_command_lines, give_the_text_the_c_runtime_gives) {
#ifndef ENCRYPT_PRINT_ARGUMENTS_PATH
    GTEST_SKIP() << "a command line is split by the program only on Windows; POSIX passes "
                    "the arguments as they are";
#else
    const char* const command_lines[] = {
        R"(a\\\"b)",           // backslashes before an escaped quote
        R"("a\\" tail)",       // an even run of backslashes before the closing quote
        R"("a""b" c)",         // a doubled quote inside quotes
        R"(a""b c)",           // a doubled quote outside quotes
        "x\ty z",              // a tab ends the argument
        R"("" b)",             // an empty quoted argument
        R"(abc\)",             // a trailing backslash
        R"("a b"c"d e")",      // quotes in the middle of an argument
        R"(\\\\"a b"\)",       // backslashes before an opening quote, one at the end
        R"("""a""" b)",        // tripled quotes
        R"("a\\\\\"b")",       // an odd run of backslashes inside quotes
        R"("unterminated \)",  // no closing quote
    };
    for (const char* line : command_lines) {
        SCOPED_TRACE(line);
        invocation runtime;
        runtime.program = ENCRYPT_PRINT_ARGUMENTS_PATH;
        runtime.raw_arguments = line;
        const auto split = run_tool(runtime);
        ASSERT_EQ(split.exit_status, 0) << line << ": " << split.out;
        std::string argument;
        for (std::size_t i = 0; i + 1 < split.out.size() && split.out[i] != '\r'; i += 2) {
            argument.push_back(static_cast<char>(std::stoi(split.out.substr(i, 2), nullptr, 16)));
        }
        invocation call;
        call.raw_arguments = line;
        expect_result(run_tool(call), reference_result_line(argument, line_end), 0);
    }
#endif
}

TEST(failures, heap_refusing_any_request_is_memory_exhausted) {
    if (const auto why = heap_refusal_unsupported()) {
        GTEST_SKIP() << *why;
    }
    // A 131,071-byte text needs 262,144 bytes of words and a buffer of some
    // 512 KiB for its line: the command's two requests.
    invocation call;
    call.args = {std::string(131071, 'q')};
    expect_result(run_with_heap(call, "ENCRYPT_TEST_MALLOC_LIMIT=100000"), "", 1,
                  "encrypt: memory exhausted" + line_end);
    // Each request refused in turn, until one past the last the command makes.
    int refused = 0;
    for (int turn = 1; turn < 20; ++turn) {
        const auto got = run_with_heap(call, "ENCRYPT_TEST_MALLOC_REFUSE=" + std::to_string(turn));
        if (got.exit_status == 0) {
            expect_result(got, reference_result_line(call.args[0], line_end), 0);
            break;
        }
        expect_result(got, "", 1, "encrypt: memory exhausted" + line_end);
        ++refused;
    }
    EXPECT_EQ(refused, 2) << "the words and the line's buffer are the command's two requests";

    // An empty text needs no words, so a heap that refuses large blocks is no obstacle.
    call.args = {""};
    expect_result(run_with_heap(call, "ENCRYPT_TEST_MALLOC_LIMIT=100000"), caption + line_end, 0);
}

}  // namespace
