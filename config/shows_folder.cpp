#include "config/shows_folder.h"

#include "common/text_rules.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace {

bool IsShowFile(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = FoldUpper(name.substr(dot + 1));
  return extension == "PPT" || extension == "PPTX" || extension == "PPS" || extension == "PPSX" ||
         extension == "ODP";
}

}  // namespace

std::vector<std::string> ShowNames(const std::string& folder) {
  std::vector<std::string> names;
  for (std::string& name : FilesInFolder(folder)) {
    if (IsShowFile(name) && Utf8FromCodePage(CodePageFromUtf8(name)) == name) {
      names.push_back(std::move(name));
    }
  }
  return names;
}

std::string ShowPath(const std::string& folder, const std::string& name) {
  const std::string separator = PathSeparator();
  std::string path = folder;
  const bool absolute = separator == "\\"
                            ? (path.size() >= 2 && path[1] == ':') ||
                                  (!path.empty() && (path[0] == '\\' || path[0] == '/'))
                            : !path.empty() && path[0] == '/';
  if (!absolute) path = CurrentDirectory() + separator + path;
  if (!path.empty() && path.back() != separator[0] && path.back() != '/') path += separator;
  return path + CodePageFromUtf8(name);
}
