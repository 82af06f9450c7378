#include "platform/posix/office_pipe.h"

#include <errno.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <com/sun/star/io/IOException.hpp>

#include <cstring>
#include <vector>

namespace css = com::sun::star;

namespace {

[[noreturn]] void Fail(const char* what) {
  throw css::io::IOException(rtl::OUString::createFromAscii(what) + ": " +
                             rtl::OUString::createFromAscii(strerror(errno)));
}

// The user's number as the runtime names the user's pipes with it; empty for
// a user it cannot look up.
std::string UserIdent() {
  std::vector<char> buffer(1024);
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    return error == 0 && found != nullptr ? std::to_string(found->pw_uid) : std::string();
  }
}

}  // namespace

std::string OfficePipePath(const std::string& name) {
  std::string path = access("/tmp", W_OK) == 0 ? "/tmp/OSL_PIPE_" : "/var/tmp/OSL_PIPE_";
  const std::string ident = UserIdent();
  if (!ident.empty()) path += ident + "_";
  return path + name;
}

rtl::Reference<OfficePipe> OfficePipe::Connect(const std::string& name) {
  const std::string path = OfficePipePath(name);
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return nullptr;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return nullptr;
  if (connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(descriptor);
    return nullptr;
  }
  return new OfficePipe(descriptor, name);
}

OfficePipe::OfficePipe(int descriptor, const std::string& name)
    : descriptor_(descriptor),
      description_("pipe,name=" + rtl::OUString(name.data(), static_cast<sal_Int32>(name.size()),
                                                RTL_TEXTENCODING_UTF8)) {}

OfficePipe::~OfficePipe() { Release(); }

void OfficePipe::Release() {
  std::lock_guard<std::mutex> guard(lock_);
  if (descriptor_ < 0) return;
  ::close(descriptor_);
  descriptor_ = -1;
}

int OfficePipe::Descriptor() {
  std::lock_guard<std::mutex> guard(lock_);
  if (descriptor_ < 0) throw css::io::IOException("the office's pipe was released");
  return descriptor_;
}

sal_Int32 OfficePipe::read(css::uno::Sequence<sal_Int8>& bytes, sal_Int32 count) {
  if (count < 0) throw css::io::IOException("a negative count to read");
  const int descriptor = Descriptor();
  bytes.realloc(count);
  sal_Int32 got = 0;
  while (got < count) {
    const ssize_t received =
        recv(descriptor, bytes.getArray() + got, static_cast<size_t>(count - got), 0);
    if (received > 0) {
      got += static_cast<sal_Int32>(received);
    } else if (received == 0) {
      break;  // the end of the connection
    } else if (errno != EINTR) {
      Fail("reading from the office's pipe");
    }
  }
  if (got < count) bytes.realloc(got);
  return got;
}

void OfficePipe::write(const css::uno::Sequence<sal_Int8>& bytes) {
  const int descriptor = Descriptor();
  const sal_Int8* data = bytes.getConstArray();
  size_t left = static_cast<size_t>(bytes.getLength());
  while (left > 0) {
    const ssize_t written = send(descriptor, data, left, MSG_NOSIGNAL);
    if (written > 0) {
      data += written;
      left -= static_cast<size_t>(written);
    } else if (written == 0 || errno != EINTR) {
      Fail("writing to the office's pipe");
    }
  }
}

void OfficePipe::flush() {}

void OfficePipe::close() {
  std::lock_guard<std::mutex> guard(lock_);
  if (descriptor_ < 0 || shut_) return;
  shutdown(descriptor_, SHUT_RDWR);
  shut_ = true;
}

rtl::OUString OfficePipe::getDescription() { return description_; }
