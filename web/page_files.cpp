#include "web/page_files.h"

const PageFile* FindPageFile(std::string_view path) {
  if (path == "/") path = "/index.html";
  for (size_t i = 0; i < kPageFileCount; ++i) {
    if (kPageFiles[i].path == path) return &kPageFiles[i];
  }
  return nullptr;
}
