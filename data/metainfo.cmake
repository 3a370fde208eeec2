# SPDX-License-Identifier: GPL-2.0-or-later
# Writes the AppStream description the package installs: the hand-written one with a
# <screenshots> element for the pictures the build took in place of its marker line.
#   cmake -D IN=metainfo.xml -D OUT=file -D LIST=file -D PICTURES=folder -D URL=base -P metainfo.cmake
# LIST holds one picture a line, "file|caption", the first the default screenshot; an
# empty LIST leaves the description without screenshots. AppStream wants every <image>
# to be a web address: each names URL/file, where the release publishes the very
# picture the package ships in share/rizuvira/screenshots, and carries its size.
cmake_minimum_required(VERSION 3.25)

file(STRINGS "${LIST}" entries)
set(block "")
if(entries)
  string(APPEND block "  <screenshots>\n")
  set(type " type=\"default\"")
  foreach(entry IN LISTS entries)
    string(FIND "${entry}" "|" bar)
    string(SUBSTRING "${entry}" 0 ${bar} name)
    math(EXPR bar "${bar} + 1")
    string(SUBSTRING "${entry}" ${bar} -1 caption)
    # A PNG opens with its 8-byte signature and the IHDR chunk: length, "IHDR",
    # then the width and the height as 32-bit big-endian numbers.
    file(READ "${PICTURES}/${name}" header LIMIT 24 HEX)
    string(SUBSTRING "${header}" 0 16 signature)
    string(SUBSTRING "${header}" 24 8 chunk)
    if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT chunk STREQUAL "49484452")
      message(FATAL_ERROR "${PICTURES}/${name} is not a PNG picture")
    endif()
    string(SUBSTRING "${header}" 32 8 width)
    string(SUBSTRING "${header}" 40 8 height)
    math(EXPR width "0x${width}")
    math(EXPR height "0x${height}")
    string(APPEND block "    <screenshot${type}>\n"
                        "      <caption>${caption}</caption>\n"
                        "      <image type=\"source\" width=\"${width}\" height=\"${height}\">"
                        "${URL}/${name}</image>\n"
                        "    </screenshot>\n")
    set(type "")
  endforeach()
  string(APPEND block "  </screenshots>\n")
endif()

file(READ "${IN}" text)
string(REGEX MATCH "[ ]*<!-- screenshots:[^\n]*-->\n" marker "${text}")
if(NOT marker)
  message(FATAL_ERROR "${IN} has no line marking where the screenshots go")
endif()
string(REPLACE "${marker}" "${block}" text "${text}")
file(WRITE "${OUT}.new" "${text}")
file(RENAME "${OUT}.new" "${OUT}")
