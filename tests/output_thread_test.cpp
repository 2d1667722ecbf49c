// The writer thread of encrypt-lines on its own, writing into a pipe that
// stands in for standard output: every block in order while the reader
// keeps up, and a clean stop when the reader goes away in the middle of the
// stream while blocks keep coming. Run under ThreadSanitizer (the tsan
// preset) it also shows how the two threads share what they share.
#include <gtest/gtest.h>

#ifndef _WIN32
#  include <unistd.h>

#  include <cerrno>
#  include <csignal>
#  include <cstring>
#  include <string>
#  include <thread>
#  include <vector>

#  include "output.hpp"

namespace {

using encrypt::cli::output_thread;
using encrypt::cli::standard_output;

constexpr std::size_t block_size = 4096;

// Standard output turned into a pipe for the test's length; `read_up_to`
// bytes are read from it, then the reading end is closed.
class piped_stdout {
public:
    explicit piped_stdout(std::size_t read_up_to) {
        std::signal(SIGPIPE, SIG_IGN);
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        saved_ = dup(STDOUT_FILENO);
        dup2(ends[1], STDOUT_FILENO);
        close(ends[1]);
        reader_ = std::thread([this, end = ends[0], read_up_to] {
            char piece[block_size];
            while (got_.size() < read_up_to) {
                const ssize_t n =
                    read(end, piece, std::min(sizeof piece, read_up_to - got_.size()));
                if (n <= 0) {
                    break;
                }
                got_.append(piece, static_cast<std::size_t>(n));
            }
            close(end);
        });
    }
    // Gives standard output back, which ends the pipe, and returns what was read.
    std::string finish() {
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        reader_.join();
        std::signal(SIGPIPE, SIG_DFL);
        return got_;
    }

private:
    int saved_ = -1;
    std::thread reader_;
    std::string got_;
};

// Block k filled with the letter 'a' + k % 26, in whichever buffer it is put.
void fill(char* buffer, int k) { std::memset(buffer, 'a' + k % 26, block_size); }

TEST(output_thread, writes_every_block_in_order) {
    constexpr int blocks = 200;
    piped_stdout pipe(std::size_t{blocks} * block_size);
    std::vector<char> buffers((1 + output_thread::spare_buffers) * block_size);
    standard_output out;
    {
        output_thread writer(out, buffers.data() + block_size, block_size);
        char* buffer = buffers.data();
        for (int k = 0; k < blocks; ++k) {
            fill(buffer, k);
            buffer = writer.put(buffer, block_size);
            ASSERT_NE(buffer, nullptr) << "block " << k;
        }
        writer.finish();
    }
    std::string expected;
    for (int k = 0; k < blocks; ++k) {
        expected.append(block_size, static_cast<char>('a' + k % 26));
    }
    EXPECT_TRUE(pipe.finish() == expected);
    EXPECT_EQ(out.error, 0);
}

// The reader leaves after ten blocks while the producer goes on putting: the
// writer's failure must reach the producer, which then stops. Many rounds,
// for the failure to meet the producer at every point of its work.
TEST(output_thread, stops_when_a_write_fails_midway) {
    for (int round = 0; round < 30; ++round) {
        piped_stdout pipe(10 * block_size);
        std::vector<char> buffers((1 + output_thread::spare_buffers) * block_size);
        standard_output out;
        int put = 0;
        {
            output_thread writer(out, buffers.data() + block_size, block_size);
            char* buffer = buffers.data();
            while (buffer != nullptr && put < 100000) {
                fill(buffer, put++);
                buffer = writer.put(buffer, block_size);
            }
            writer.finish();
        }
        ASSERT_LT(put, 100000) << "the failed write never reached the producer";
        ASSERT_EQ(pipe.finish().size(), 10 * block_size);
        ASSERT_EQ(out.error, EPIPE);
    }
}

}  // namespace
#endif  // _WIN32
