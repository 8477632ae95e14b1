#include "common/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "support/test_support.h"

namespace {

using trx5test::Bytes;

Bytes Pattern(std::size_t size, unsigned seed) {
    Bytes bytes(size);
    std::uint32_t x = seed;
    for (auto& b : bytes) b = static_cast<std::uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
    return bytes;
}

// CopyFrom appends the source's bytes from its offset on, between bytes
// written before and after it: from a file (copied by the kernel) and from a
// pipe (which the kernel cannot copy from, so read), of sizes around the
// 1 MiB buffer.
TEST(TempFileTest, CopyFromAppendsTheRestOfAFileOrPipe) {
    trx5test::TempDir dir;
    const Bytes head = {'h', 'e', 'a', 'd'};
    const Bytes tail = {'t', 'a', 'i', 'l'};
    for (const bool pipe : {false, true}) {
        for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{3 << 20} + 5}) {
            SCOPED_TRACE(std::string(pipe ? "pipe " : "file ") + std::to_string(size));
            const Bytes source = Pattern(size + 7, static_cast<unsigned>(size));
            int fd = -1;
            std::thread feeder;
            if (pipe) {
                int ends[2];
                ASSERT_EQ(::pipe(ends), 0);
                fd = ends[0];
                feeder = std::thread([&source, in = ends[1]] {
                    std::size_t done = 0;
                    while (done < source.size()) {
                        const ssize_t n = write(in, source.data() + done, source.size() - done);
                        if (n <= 0) break;
                        done += static_cast<std::size_t>(n);
                    }
                    close(in);
                });
                std::uint8_t skipped[7];
                ASSERT_EQ(read(fd, skipped, 7), 7);
            } else {
                trx5test::WriteFile(dir / "source", source);
                fd = open((dir / "source").c_str(), O_RDONLY);
                ASSERT_GE(fd, 0);
                ASSERT_EQ(lseek(fd, 7, SEEK_SET), 7);
            }
            trx5::TempFile temp;
            ASSERT_TRUE(temp.Create(dir.path(), "copy"));
            ASSERT_TRUE(temp.Write(head.data(), head.size()));
            const trx5::Status copied = temp.CopyFrom(fd);
            close(fd);
            if (feeder.joinable()) feeder.join();
            ASSERT_TRUE(copied) << copied.Describe();
            ASSERT_TRUE(temp.Write(tail.data(), tail.size()));
            ASSERT_TRUE(temp.Flush());
            ASSERT_TRUE(temp.CommitTo(dir / "copy"));
            Bytes expected = head;
            expected.insert(expected.end(), source.begin() + 7, source.end());
            expected.insert(expected.end(), tail.begin(), tail.end());
            EXPECT_EQ(trx5test::ReadFile(dir / "copy"), expected);
        }
    }
}

// A source that cannot be read fails as a read, naming the reason.
TEST(TempFileTest, CopyFromAnUnreadableSourceFailsAsARead) {
    trx5test::TempDir dir;
    trx5test::WriteFile(dir / "source", Pattern(100, 1));
    const int fd = open((dir / "source").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    trx5::TempFile temp;
    ASSERT_TRUE(temp.Create(dir.path(), "copy"));
    const trx5::Status copied = temp.CopyFrom(fd);
    close(fd);
    ASSERT_FALSE(copied);
    EXPECT_EQ(copied.code(), trx5::ErrorCode::CannotOpen);
    EXPECT_FALSE(copied.reason().empty());
}

}  // namespace
