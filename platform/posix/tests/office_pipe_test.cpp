// The office's pipe as a bridge's connection, against a pipe that the UNO
// runtime itself accepts on, as the office does.
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <com/sun/star/io/IOException.hpp>
#include <osl/pipe.hxx>
#include <osl/security.hxx>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/posix/office_pipe.h"

namespace {

using Bytes = com::sun::star::uno::Sequence<sal_Int8>;
using IOException = com::sun::star::io::IOException;

Bytes BytesOf(const std::string& text) {
  return Bytes(reinterpret_cast<const sal_Int8*>(text.data()), static_cast<sal_Int32>(text.size()));
}

std::string TextOf(const Bytes& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.getConstArray()),
                     static_cast<size_t>(bytes.getLength()));
}

// A pipe of this test that the runtime accepts on, as the office's.
struct AcceptingOffice {
  explicit AcceptingOffice(const std::string& what)
      : name("podiant-pipe-test-" + std::to_string(getpid()) + "-" + what),
        pipe(rtl::OUString::createFromAscii(name.c_str()), osl_Pipe_CREATE, osl::Security()) {}
  std::string name;
  osl::Pipe pipe;
};

size_t OpenDescriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// Whether the thread `tid` of this process is in the system call `number`.
bool InSystemCall(pid_t tid, long number) {
  std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/syscall");
  long current = -1;
  return (file >> current) && current == number;
}

TEST(OfficePipe, ReachesThePipeTheRuntimeAcceptsOnAndReadsWholeCountsUntilItsEnd) {
  AcceptingOffice office("carry");
  ASSERT_TRUE(office.pipe.is());
  EXPECT_FALSE(OfficePipe::Connect(office.name + "-none").is());
  rtl::Reference<OfficePipe> pipe = OfficePipe::Connect(office.name);
  ASSERT_TRUE(pipe.is());
  osl::StreamPipe peer;
  ASSERT_EQ(office.pipe.accept(peer), osl_Pipe_E_None);

  pipe->write(BytesOf("request"));
  char received[7] = {};
  ASSERT_EQ(peer.read(received, sizeof received), 7);
  EXPECT_EQ(std::string(received, sizeof received), "request");

  ASSERT_EQ(peer.write("abc", 3), 3);
  ASSERT_EQ(peer.write("defgh", 5), 5);
  ASSERT_EQ(peer.write("ij", 2), 2);
  peer.close();
  Bytes bytes;
  EXPECT_EQ(pipe->read(bytes, 8), 8);
  EXPECT_EQ(TextOf(bytes), "abcdefgh");
  EXPECT_EQ(pipe->read(bytes, 8), 2);  // fewer at the end, and as many in the sequence
  EXPECT_EQ(TextOf(bytes), "ij");
  EXPECT_EQ(pipe->read(bytes, 8), 0);
  EXPECT_EQ(bytes.getLength(), 0);
  pipe->Release();
}

// As the bridge ends: close() on one thread while its reader waits in a read
// on another, then the descriptor released once the reader has been joined.
TEST(OfficePipe, CloseWakesAWaitingReaderAndEndsTheOfficesSideButKeepsTheDescriptor) {
  AcceptingOffice office("close");
  rtl::Reference<OfficePipe> pipe = OfficePipe::Connect(office.name);
  ASSERT_TRUE(pipe.is());
  osl::StreamPipe peer;
  ASSERT_EQ(office.pipe.accept(peer), osl_Pipe_E_None);

  std::atomic<pid_t> readerTid{0};
  sal_Int32 got = -1;
  std::thread reader([&] {
    readerTid = static_cast<pid_t>(syscall(SYS_gettid));
    Bytes bytes;
    got = pipe->read(bytes, 8);
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((readerTid == 0 || !InSystemCall(readerTid, SYS_recvfrom)) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(InSystemCall(readerTid, SYS_recvfrom));
  const size_t open = OpenDescriptors();
  pipe->close();
  reader.join();
  EXPECT_EQ(got, 0);
  char byte = 0;
  EXPECT_EQ(peer.read(&byte, 1), 0);  // the office's side has ended too
  EXPECT_EQ(OpenDescriptors(), open);
  EXPECT_THROW(pipe->write(BytesOf("late")), IOException);

  pipe->Release();
  EXPECT_EQ(OpenDescriptors(), open - 1);
  Bytes bytes;
  EXPECT_THROW(pipe->read(bytes, 1), IOException);
  pipe->close();  // nothing left to shut down (the number may be another's by now)
}

}  // namespace
