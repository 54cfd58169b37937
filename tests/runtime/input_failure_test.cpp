// Opening and reading the input file when the file system says no: what is
// not a regular file is refused at once, and a failed host read is a
// failure that every later read and token reports, never the end.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "reader_fixture.h"
#include "sys/host_io.h"

namespace {

class InputFailureTest : public ReaderTest {
protected:
    void TearDown() override {
        alarm(0);
        file_services_faults_clear();
    }

    // input_open's answer for base.prd in the test folder, with the input
    // closed again; an input comes back exactly when the answer is RC_OK.
    ResultCode open_code(const std::string& base = "t") {
        ScriptInput* input = nullptr;
        ResultCode rc = input_open(&input, engine_path(dir.path()), "", base, "prd");
        EXPECT_EQ(rc == RC_OK, input != nullptr) << base;
        input_close(input);
        return rc;
    }
    Reader* open_existing(const std::string& base) {
        Reader* reader = reader_open(rt, atoms, nullptr, vars, false, false,
                                     engine_path(dir.path()), "", base, "prd");
        if (reader) readers.push_back(reader);
        return reader;
    }
};

// `count` copies of a number and its line feed, 8 bytes each: 2048 of them
// fill the first chunk of a stream exactly.
std::string numbers(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += "1234567\n";
    return text;
}

TEST_F(InputFailureTest, WhatIsNotARegularFileIsRefusedAtOnceWithUnableToRead) {
    // A FIFO without a writer would block a plain open for ever.
    ASSERT_EQ(mkfifo(dir.at("fifo.prd").c_str(), 0644), 0);
    alarm(10);
    EXPECT_EQ(open_code("fifo"), RC_UNABLE_TO_READ);
    EXPECT_EQ(open_existing("fifo"), nullptr);
    alarm(0);

    // A socket cannot even be opened.
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string socket_path = dir.at("socket.prd");
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    socket_path.copy(address.sun_path, socket_path.size());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(open_code("socket"), RC_UNABLE_TO_READ);
    ::close(listener);

    ASSERT_EQ(mkdir(dir.at("folder.prd").c_str(), 0755), 0);
    EXPECT_EQ(open_code("folder"), RC_UNABLE_TO_READ);
    EXPECT_EQ(open_existing("folder"), nullptr);

    // A file of 4 GiB does not fit the 32-bit size; one byte less is taken
    // (as a stream, so nothing of it is read yet).
    {
        int fd = ::open(dir.at("huge.prd").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, off_t(4294967296LL)), 0);
        ::close(fd);
    }
    EXPECT_EQ(open_code("huge"), RC_UNABLE_TO_READ);
    ASSERT_EQ(truncate(dir.at("huge.prd").c_str(), off_t(4294967295LL)), 0);
    EXPECT_EQ(open_code("huge"), RC_OK);

    // Open failures keep the host error's code.
    EXPECT_EQ(open_code("missing"), RC_FILE_NOT_FOUND);
    write_host_file(dir.at("t.prd"), "1 2");
    file_services_fail_next(HOST_OP_OPEN, EMFILE);
    EXPECT_EQ(open_code("t"), RC_TOO_MANY_OPEN_FILES);
    file_services_fail_next(HOST_OP_FSTAT, EIO);
    EXPECT_EQ(open_code("t"), RC_UNABLE_TO_READ);

    // A symbolic link to a regular file reads as the file.
    std::filesystem::create_symlink(dir.at("t.prd"), dir.at("link.prd"));
    EXPECT_EQ(tokens_of(open_existing("link")), (Tokens{"1", "2", "eof"}));
}

TEST_F(InputFailureTest, AFailedReadOfASmallFileFailsTheOpenWithItsCode) {
    write_host_file(dir.at("t.prd"), "1 2 3\n");
    file_services_fail_next(HOST_OP_READ, EIO);
    EXPECT_EQ(open_code(), RC_UNABLE_TO_READ);
    file_services_fail_next(HOST_OP_READ, EIO);
    EXPECT_EQ(open_existing("t"), nullptr);
    // Another host error keeps its own code.
    file_services_fail_next(HOST_OP_READ, EACCES);
    EXPECT_EQ(open_code(), RC_PERMISSION_DENIED);
    // The largest file read whole is read by the same route.
    write_host_file(dir.at("t.prd"),
                    numbers(8191) + std::string(INPUT_MEMORY_LIMIT - 1 - 8191 * 8, ' '));
    file_services_fail_next(HOST_OP_READ, EIO);
    EXPECT_EQ(open_code(), RC_UNABLE_TO_READ);
    // Without a failure the file reads, and its reader reports no failure.
    Reader* reader = open_existing("t");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader_failure(rt, reader), RC_OK);
    EXPECT_EQ(tokens_of(reader).size(), 8192u);
    EXPECT_EQ(reader_failure(rt, reader), RC_OK);
}

TEST_F(InputFailureTest, AFailedStreamReadGivesLexicalErrorsForEverNeverTheEnd) {
    // The first chunk ends exactly after a line, so that without the failure
    // the tokens read so far would look like a whole file.
    write_host_file(dir.at("t.prd"), numbers(10000));
    file_services_fail_next(HOST_OP_READ, EIO, 1);
    Reader* reader = open_existing("t");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader_failure(rt, reader), RC_OK);
    Tokens expected(2048, "1234567");
    expected.insert(expected.end(), 5, "lex");
    EXPECT_EQ(tokens_of(reader, expected.size()), expected);
    EXPECT_EQ(reader_failure(rt, reader), RC_UNABLE_TO_READ);
    EXPECT_EQ(input_failure(reader_input(rt, reader)), RC_UNABLE_TO_READ);
    char c = 0;
    EXPECT_EQ(input_read(reader_input(rt, reader), &c), RC_UNABLE_TO_READ);
    EXPECT_EQ(input_unread(reader_input(rt, reader)), RC_UNABLE_TO_READ);
    // Taking tokens back replays nothing of the input once it has failed.
    reader_unget(rt, reader);
    reader_unget(rt, reader);
    reader_mark(rt, reader);
    reader_rewind(rt, reader);
    EXPECT_EQ(tokens_of(reader, 3), (Tokens{"lex", "lex", "lex"}));

    // A name cut by the failure is not delivered as a shorter name.
    std::string split = "#" + std::string(INPUT_CHUNK - 7, 'c') + "\nab cdef\n";
    split += std::string(INPUT_MEMORY_LIMIT, '\n');
    ASSERT_EQ(split.find("cdef"), INPUT_CHUNK - 2);
    write_host_file(dir.at("split.prd"), split);
    file_services_fail_next(HOST_OP_READ, EIO, 1);
    EXPECT_EQ(tokens_of(open_existing("split"), 3), (Tokens{"name:ab", "lex", "lex"}));

    // The same files read whole without a failure.
    file_services_faults_clear();
    Tokens whole(10000, "1234567");
    whole.push_back("eof");
    EXPECT_EQ(tokens_of(open_existing("t")), whole);
    EXPECT_EQ(tokens_of(open_existing("split")), (Tokens{"name:ab", "name:cdef", "eof"}));
}

}  // namespace
