# Embeds files in the program as constant byte blocks, with nothing but CMake.
#
#   snipora_embed_files(TARGET <target> NAMESPACE <ns>
#                       [HEADER <name.h>]
#                       FILES <path>=<Symbol> [<path>=<Symbol> ...])
#
# makes the static library <target> whose header (<target>.h unless HEADER
# names another) declares, inside namespace <ns> (nesting with :: allowed),
# for each file:
#
#   extern const unsigned char Symbol[];       // the file's bytes
#   extern const std::size_t SymbolSize;       // how many
#   std::span<const unsigned char> SymbolBytes() noexcept;
#
# Relative paths are taken from the calling CMakeLists.txt's folder. The
# sources are generated at build time and again whenever a file changes; link
# the target and include the header:
#
#   snipora_embed_files(TARGET snipora_artwork NAMESPACE snipora::art
#     HEADER artwork.h
#     FILES artwork/banner.png=BannerPng artwork/header.png=HeaderPng)
#   target_link_libraries(snipora PRIVATE snipora_artwork)
#
# This file is also the generator: the build runs it with cmake -P.

include_guard(GLOBAL)

set(_snipora_embed_script "${CMAKE_CURRENT_LIST_FILE}")

function(snipora_embed_files)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;NAMESPACE;HEADER" "FILES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "snipora_embed_files: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_TARGET OR NOT arg_NAMESPACE OR NOT arg_FILES)
    message(FATAL_ERROR "snipora_embed_files: TARGET, NAMESPACE and FILES are required")
  endif()
  set(identifier "[A-Za-z_][A-Za-z0-9_]*")
  if(NOT arg_NAMESPACE MATCHES "^${identifier}(::${identifier})*$")
    message(FATAL_ERROR "snipora_embed_files: '${arg_NAMESPACE}' is not a C++ namespace name")
  endif()
  if(NOT arg_HEADER)
    set(arg_HEADER "${arg_TARGET}.h")
  endif()
  if(NOT arg_HEADER MATCHES "^[A-Za-z0-9_.-]+$")
    message(FATAL_ERROR "snipora_embed_files: HEADER must be a plain file name, not '${arg_HEADER}'")
  endif()

  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/${arg_TARGET}.embedded")
  set(source "${out_dir}/${arg_TARGET}.cpp")
  set(header "${out_dir}/${arg_HEADER}")

  # Each file travels as its own -D pair, so paths need no list escaping.
  set(defines "")
  set(inputs "")
  set(symbols "")
  set(count 0)
  foreach(entry IN LISTS arg_FILES)
    if(entry MATCHES ";")
      message(FATAL_ERROR "snipora_embed_files: a ';' in '${entry}' cannot pass through a CMake list")
    endif()
    string(FIND "${entry}" "=" eq REVERSE)
    if(eq LESS 1)
      message(FATAL_ERROR "snipora_embed_files: '${entry}' is not <path>=<Symbol>")
    endif()
    string(SUBSTRING "${entry}" 0 ${eq} path)
    math(EXPR after "${eq} + 1")
    string(SUBSTRING "${entry}" ${after} -1 symbol)
    if(NOT symbol MATCHES "^${identifier}$")
      message(FATAL_ERROR "snipora_embed_files: '${symbol}' is not a C++ identifier")
    endif()
    if(symbol IN_LIST symbols)
      message(FATAL_ERROR "snipora_embed_files: '${symbol}' is named twice")
    endif()
    get_filename_component(path "${path}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
      message(FATAL_ERROR "snipora_embed_files: no such file: ${path}")
    endif()
    list(APPEND symbols "${symbol}")
    list(APPEND inputs "${path}")
    list(APPEND defines "-DSNIPORA_EMBED_FILE_${count}=${path}" "-DSNIPORA_EMBED_SYMBOL_${count}=${symbol}")
    math(EXPR count "${count} + 1")
  endforeach()

  add_custom_command(
    OUTPUT "${source}" "${header}"
    COMMAND "${CMAKE_COMMAND}"
      "-DSNIPORA_EMBED_COUNT=${count}" ${defines}
      "-DSNIPORA_EMBED_NAMESPACE=${arg_NAMESPACE}"
      "-DSNIPORA_EMBED_SOURCE=${source}"
      "-DSNIPORA_EMBED_HEADER=${header}"
      -P "${_snipora_embed_script}"
    DEPENDS ${inputs} "${_snipora_embed_script}"
    COMMENT "Embedding ${count} file(s) in ${arg_TARGET}"
    VERBATIM)

  add_library(${arg_TARGET} STATIC "${source}" "${header}")
  target_include_directories(${arg_TARGET} PUBLIC "${out_dir}")
  target_compile_features(${arg_TARGET} PUBLIC cxx_std_20)
endfunction()

# Writes path only when its text changes, so that touching an input without
# changing it rebuilds nothing.
function(_snipora_embed_write path text)
  set(staged "${path}.new")
  file(WRITE "${staged}" "${text}")
  file(COPY_FILE "${staged}" "${path}" ONLY_IF_DIFFERENT)
  file(REMOVE "${staged}")
endfunction()

function(_snipora_embed_generate)
  get_filename_component(header_name "${SNIPORA_EMBED_HEADER}" NAME)
  set(names "")
  set(declarations "")
  set(definitions "")
  math(EXPR last "${SNIPORA_EMBED_COUNT} - 1")
  foreach(i RANGE ${last})
    set(path "${SNIPORA_EMBED_FILE_${i}}")
    set(symbol "${SNIPORA_EMBED_SYMBOL_${i}}")
    get_filename_component(name "${path}" NAME)
    string(APPEND names " ${name}")
    file(READ "${path}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    if(size EQUAL 0)
      # C++ has no empty arrays; the block is one byte long, its size 0
      set(body "0x00,\n")
    else()
      string(REPEAT "[0-9a-f]" 32 line)
      string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
      if(NOT body MATCHES "\n$")
        string(APPEND body "\n")
      endif()
    endif()
    string(APPEND declarations
      "extern const unsigned char ${symbol}[];\n"
      "extern const std::size_t ${symbol}Size;\n"
      "inline std::span<const unsigned char> ${symbol}Bytes() noexcept { return {${symbol}, ${symbol}Size}; }\n"
      "\n")
    string(APPEND definitions
      "// ${name}\n"
      "extern const unsigned char ${symbol}[] = {\n${body}};\n"
      "extern const std::size_t ${symbol}Size = ${size};\n"
      "\n")
  endforeach()

  set(banner "// Generated by EmbedFiles.cmake from${names}; do not edit.\n")
  string(CONCAT header_text "${banner}#pragma once\n\n#include <cstddef>\n#include <span>\n\n"
    "namespace ${SNIPORA_EMBED_NAMESPACE} {\n\n${declarations}}  // namespace ${SNIPORA_EMBED_NAMESPACE}\n")
  string(CONCAT source_text "${banner}#include \"${header_name}\"\n\n"
    "namespace ${SNIPORA_EMBED_NAMESPACE} {\n\n${definitions}}  // namespace ${SNIPORA_EMBED_NAMESPACE}\n")
  _snipora_embed_write("${SNIPORA_EMBED_HEADER}" "${header_text}")
  _snipora_embed_write("${SNIPORA_EMBED_SOURCE}" "${source_text}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED SNIPORA_EMBED_COUNT)
  _snipora_embed_generate()
endif()
