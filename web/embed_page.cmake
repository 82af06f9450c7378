# Writes the page's files into one C++ source (cmake -P):
#   -DPAGE_DIR=<web/page> -DEXTRA_FILES=<file;...> -DOUTPUT=<source>
# Every file under PAGE_DIR is served at its path below it, each of
# EXTRA_FILES at its file name; each gets its content type and a tag from its
# SHA-1 for the ETag.
file(GLOB_RECURSE page_files RELATIVE ${PAGE_DIR} ${PAGE_DIR}/*)
list(SORT page_files)
set(entries "")
foreach(relative IN LISTS page_files)
  list(APPEND entries "${PAGE_DIR}/${relative}|/${relative}")
endforeach()
foreach(extra IN LISTS EXTRA_FILES)
  get_filename_component(name ${extra} NAME)
  list(APPEND entries "${extra}|/${name}")
endforeach()

# (",utf-8" stands for "; charset=utf-8": a semicolon would split the list.)
set(types
  "html=text/html,utf-8" "js=text/javascript,utf-8" "css=text/css,utf-8" "json=application/json"
  "webmanifest=application/manifest+json" "svg=image/svg+xml" "png=image/png"
  "ico=image/x-icon" "txt=text/plain,utf-8" "woff2=font/woff2")

set(arrays "")
set(table "")
set(index 0)
foreach(entry IN LISTS entries)
  string(FIND "${entry}" "|" bar)
  string(SUBSTRING "${entry}" 0 ${bar} file)
  math(EXPR start "${bar} + 1")
  string(SUBSTRING "${entry}" ${start} -1 path)
  get_filename_component(extension ${file} LAST_EXT)
  string(SUBSTRING "${extension}" 1 -1 extension)
  string(TOLOWER "${extension}" extension)
  set(type "application/octet-stream")
  foreach(pair IN LISTS types)
    string(FIND "${pair}" "=" equals)
    string(SUBSTRING "${pair}" 0 ${equals} known)
    if(known STREQUAL extension)
      math(EXPR start "${equals} + 1")
      string(SUBSTRING "${pair}" ${start} -1 type)
      string(REPLACE ",utf-8" "; charset=utf-8" type "${type}")
    endif()
  endforeach()
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  file(SHA1 ${file} hash)
  string(SUBSTRING "${hash}" 0 16 tag)
  string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes}0};\n")
  string(APPEND table "    {\"${path}\", \"${type}\", kFile${index}, ${size}, \"${tag}\"},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(source "// Made by web/embed_page.cmake from web/page/: do not edit.\n#include \"web/page_files.h\"\n\nnamespace {\n${arrays}}  // namespace\n\nconst PageFile kPageFiles[] = {\n${table}};\nconst size_t kPageFileCount = ${index};\n")
file(WRITE ${OUTPUT} "${source}")
