// The page's files, built into the program: everything under web/page/ and
// the QR code drawer of the pairing page (made into a source of the build
// tree by web/embed_page.cmake).
#pragma once

#include <cstddef>
#include <string_view>

struct PageFile {
  std::string_view path;  // as requested: "/index.html"
  std::string_view contentType;
  const unsigned char* data;
  size_t size;
  std::string_view tag;  // for the ETag: changes with the content
  std::string_view Bytes() const { return {reinterpret_cast<const char*>(data), size}; }
};

// The file served at `path` ("/" is "/index.html"); nullptr when there is none.
const PageFile* FindPageFile(std::string_view path);

// Every file (the page's size).
extern const PageFile kPageFiles[];
extern const size_t kPageFileCount;
