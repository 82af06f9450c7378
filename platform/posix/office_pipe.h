// The office's named pipe as the connection of a URP bridge, connected and
// held by this program itself (the office back end's module, and the Impress
// test's probe), so that its descriptor is closed only once no thread of the
// bridge can use it any more.
//
// A bridge ends (disposed, or unused, or on a failed read or write) by
// closing its connection and then joining its reader thread: the close is
// what wakes the reader. The UNO runtime's own pipe connection closes its
// descriptor there, while the reader is still in a read on it or about to
// start one (and a descriptor opened meanwhile could take its number). Here
// close() only shuts the socket down, which wakes the reader and the writer
// and tells the office that the connection ended; Release() closes the
// descriptor once the bridge's dispose has joined its threads.
#pragma once

#include <com/sun/star/connection/XConnection.hpp>
#include <cppuhelper/implbase1.hxx>
#include <rtl/ref.hxx>
#include <rtl/ustring.hxx>

#include <mutex>
#include <string>

// The socket behind the office's pipe `name`, where the UNO runtime puts the
// pipes it accepts on: /tmp/OSL_PIPE_<uid>_<name> (/var/tmp when /tmp is not
// writable; without the user's number for a user the user database lacks).
std::string OfficePipePath(const std::string& name);

class OfficePipe : public cppu::WeakImplHelper1<com::sun::star::connection::XConnection> {
 public:
  // Connects to the office accepting on the pipe `name`; none when nothing
  // accepts there.
  static rtl::Reference<OfficePipe> Connect(const std::string& name);

  // Closes the descriptor. Only once no thread reads or writes on it: after
  // the bridge made on it was disposed (which joins its threads), or when
  // none was made. Every call fails afterwards, and close() does nothing.
  void Release();

  // Reads `count` bytes, fewer only at the end of the connection (0 once it
  // was closed at either end).
  sal_Int32 SAL_CALL read(com::sun::star::uno::Sequence<sal_Int8>& bytes, sal_Int32 count) override;
  void SAL_CALL write(const com::sun::star::uno::Sequence<sal_Int8>& bytes) override;
  void SAL_CALL flush() override;
  // Shuts the socket down: a read or write in progress ends, and so does the
  // office's side of the connection.
  void SAL_CALL close() override;
  rtl::OUString SAL_CALL getDescription() override;

 private:
  OfficePipe(int descriptor, const std::string& name);
  ~OfficePipe() override;
  int Descriptor();  // throws once released

  std::mutex lock_;
  int descriptor_;
  bool shut_ = false;
  const rtl::OUString description_;
};
