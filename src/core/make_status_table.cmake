# Turns the status-message table (UTF-8) into C++ rows of code page 932 bytes.
#   cmake -DICONV=<iconv> -DIN=<status_messages.tbl> -DOUT=<file.inc> -P make_status_table.cmake
# Every byte of a message is written as a \xHH escape: code page 932 trail
# bytes include '\\' and '"', so raw bytes could not stand in a literal.
# Output: STATUS_DEFAULT("...") once and STATUS_ROW(code, "...") per row.

cmake_minimum_required(VERSION 3.25)

file(STRINGS "${IN}" lines ENCODING UTF-8)
string(ASCII 1 break)

# One row per line: code, tab, message. Line breaks ("\n" in the table) become
# 0x01 for the conversion, a byte that code page 932 never uses inside a
# character, and go back to 0x0A afterwards.
set(plain "")
foreach(line IN LISTS lines)
  if(line MATCHES "^#" OR line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "^([0-9]+|default)\t(.+)$")
    message(FATAL_ERROR "status table: malformed row: ${line}")
  endif()
  set(code "${CMAKE_MATCH_1}")
  string(REPLACE "\\n" "${break}" text "${CMAKE_MATCH_2}")
  string(APPEND plain "${code}\t${text}\n")
endforeach()

set(utf8 "${OUT}.utf8")
set(cp932 "${OUT}.cp932")
file(WRITE "${utf8}" "${plain}")
execute_process(COMMAND "${ICONV}" -f UTF-8 -t CP932
                INPUT_FILE "${utf8}" OUTPUT_FILE "${cp932}"
                RESULT_VARIABLE failed ERROR_VARIABLE why)
if(failed)
  message(FATAL_ERROR "status table: iconv to CP932 failed: ${why}")
endif()

file(READ "${cp932}" hex HEX)
string(REGEX MATCHALL ".." bytes "${hex}")
set(out "// Generated from status_messages.tbl by make_status_table.cmake. Do not edit.\n")
set(field "code")
set(code "")
set(literal "")
foreach(byte IN LISTS bytes)
  if(field STREQUAL "code")
    if(byte STREQUAL "09")
      set(field "text")
    else()
      math(EXPR digit "0x${byte}")
      string(ASCII ${digit} char)
      string(APPEND code "${char}")
    endif()
  elseif(byte STREQUAL "0a")
    if(code STREQUAL "default")
      string(APPEND out "STATUS_DEFAULT(\"${literal}\")\n")
    else()
      string(APPEND out "STATUS_ROW(${code}, \"${literal}\")\n")
    endif()
    set(field "code")
    set(code "")
    set(literal "")
  elseif(byte STREQUAL "01")
    string(APPEND literal "\\x0a")
  else()
    string(APPEND literal "\\x${byte}")
  endif()
endforeach()

file(WRITE "${OUT}.tmp" "${out}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${utf8}" "${cp932}" "${OUT}.tmp")
