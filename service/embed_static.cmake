# Writes the C++ source holding the pages' static files, run by the build:
#   cmake -DSTATIC_DIR=<folder> -DNAMES=a.css,b.js -DOUTPUT=<file.cpp> -P embed_static.cmake
# Each file becomes a byte array with its type (from its extension) and an
# ETag from its SHA-256, so a changed file gets a new one.
string(REPLACE "," ";" names "${NAMES}")
set(arrays "")
set(table "")
set(index 0)
string(REPEAT "0x..," 24 line)
foreach(name IN LISTS names)
  set(path "${STATIC_DIR}/${name}")
  file(READ "${path}" hex HEX)
  if(hex STREQUAL "")
    message(FATAL_ERROR "embed_static: ${path} is empty")
  endif()
  if(name MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(name MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  elseif(name MATCHES "\\.png$")
    set(type "image/png")
  else()
    message(FATAL_ERROR "embed_static: no type known for ${name}")
  endif()
  file(SHA256 "${path}" digest)
  string(SUBSTRING "${digest}" 0 20 digest)
  # 0x.., 24 bytes a line (CMake's regular expressions have no {n})
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "constexpr unsigned char kFile${index}[] = {\n    ${bytes}\n};\n")
  string(APPEND table "    {\"${name}\", \"${type}\", \"\\\"${digest}\\\"\", kFile${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(source "// Made by embed_static.cmake from service/static/; not edited by hand.
#include \"service/app/static_files.h\"

namespace snipora::service {
namespace {

${arrays}
constexpr StaticFile kFiles[] = {
${table}};

}  // namespace

const StaticFile* FindStaticFile(std::string_view name) {
  for (const StaticFile& file : kFiles)
    if (file.name == name) return &file;
  return nullptr;
}

}  // namespace snipora::service
")
# rewritten only when different, so an unchanged file compiles nothing again
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL source)
  file(WRITE "${OUTPUT}" "${source}")
endif()
