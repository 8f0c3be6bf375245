# Makes the players' download with cpack, unpacks it and checks it: the
# files in it, the guide's line ends, and the program itself. Run by CTest
# with -DBUILD_DIR=... -DPACKAGE=<archive> -DFILES=<a;b;c> -DVERSION=...
# -DSYSTEM=windows|linux, and for Windows -DICON=<the .ico>.

function(fail what)
  message(FATAL_ERROR "${PACKAGE}: ${what}")
endfunction()

# Sets `out` to the four bytes at byte `at` of the hex dump `hex`, read as a
# little-endian number.
function(read_le32 hex at out)
  math(EXPR at "${at} * 2")
  string(SUBSTRING "${hex}" ${at} 8 value)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" value "${value}")
  math(EXPR value "0x${value}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${CMAKE_CPACK_COMMAND} WORKING_DIRECTORY ${BUILD_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result)
  fail("cpack failed:\n${output}")
endif()

# Beside the package, its SHA-256 as sha256sum -c reads it.
file(SHA256 ${BUILD_DIR}/${PACKAGE} sha256)
file(READ ${BUILD_DIR}/${PACKAGE}.sha256 checksum_line)
if(NOT checksum_line STREQUAL "${sha256}  ${PACKAGE}\n")
  fail("${PACKAGE}.sha256 does not hold its checksum: ${checksum_line}")
endif()

set(unpacked ${BUILD_DIR}/package-check)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${BUILD_DIR}/${PACKAGE}
  WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE result)
if(result)
  fail("cannot be unpacked")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${unpacked}
  ${unpacked}/*)
list(SORT files)
if(NOT files STREQUAL FILES)
  fail("holds '${files}', not '${FILES}'")
endif()
list(GET FILES 0 first)
get_filename_component(top ${unpacked}/${first} DIRECTORY)

# The guide's line ends are those of the system it is for, and no other.
# Read as bytes, one hex pair and a blank each: file(READ) as text would
# drop the CRs.
file(READ ${top}/velmoria-setup.txt guide HEX)
string(REGEX REPLACE "(..)" "\\1 " bytes "${guide}")
string(HEX "${VERSION}" version)
string(REGEX REPLACE "(..)" "\\1 " version "${version}")
string(FIND "${bytes}" "${version}" at)
if(at EQUAL -1)
  fail("velmoria-setup.txt does not name version ${VERSION}")
endif()
# Each guide speaks of its own system alone.
file(READ ${top}/velmoria-setup.txt text)
if(SYSTEM STREQUAL "windows" AND text MATCHES "(Linux|chmod)")
  fail("velmoria-setup.txt speaks of Linux")
elseif(SYSTEM STREQUAL "linux" AND text MATCHES "(Windows|\\.exe)")
  fail("velmoria-setup.txt speaks of Windows")
endif()
# Every message the program can print on the system is explained: in the
# guide for Windows players, in the manual page for Linux. Each piece of its
# words between what the program puts in, as the sources spell it (the words
# in messages.h and messages.cc, the usage errors in command_line.cc), is
# found there, whatever the line breaks.
file(READ ${SOURCE_DIR}/src/setup/messages.h words)
if(NOT SYSTEM STREQUAL "windows")
  # What only Windows says: all after the line that says so.
  string(REGEX REPLACE "// What only Windows says.*" "" words "${words}")
endif()
file(READ ${SOURCE_DIR}/src/setup/messages.cc step_words)
file(READ ${SOURCE_DIR}/src/setup/command_line.cc command_line)
string(REGEX MATCHALL "Invalid\\([^;]*;" usage "${command_line}")
string(APPEND words "\n${step_words}\n${usage}")
if(SYSTEM STREQUAL "windows")
  set(explainer velmoria-setup.txt)
  set(explained "${text}")
  string(REGEX REPLACE "[^\n]*not on Windows[^\n]*" "" words "${words}")
else()
  # A statement marked as said only on Windows goes too. The manual page
  # without roff's quotes and fonts.
  set(explainer velmoria-setup.1)
  file(READ ${top}/velmoria-setup.1 explained)
  string(REGEX REPLACE "[^\n]*only on Windows([^;]|;[^\n])*;\n" "" words
    "${words}")
  string(REGEX REPLACE "\n\\.[A-Z]+ |\"|\\\\f[BIRP]" " " explained
    "${explained}")
  string(REPLACE "\\-" "-" explained "${explained}")
endif()
string(REGEX REPLACE "(#include|//)[^\n]*" "" words "${words}")
string(REPLACE "\\\"" "@Q@" words "${words}")
string(REGEX MATCHALL "\"[^\"]*\"" literals "${words}")
string(REGEX REPLACE "[ \t\r\n]+" " " explained "${explained}")
foreach(literal IN LISTS literals)
  string(REGEX REPLACE "^\"|\"$|\\\\n|^velmoria-setup: " "" literal
    "${literal}")
  string(REPLACE "@Q@" "\"" literal "${literal}")
  string(REGEX REPLACE "{[0-9]}" ";" pieces "${literal}")
  foreach(piece IN LISTS pieces)
    string(REGEX REPLACE "^[ :;,.']+|[ :;,.']+$" "" piece "${piece}")
    string(LENGTH "${piece}" length)
    string(FIND "${explained}" "${piece}" at)
    if(length GREATER 3 AND at EQUAL -1)
      fail("${explainer} does not explain the message with '${piece}'")
    endif()
  endforeach()
endforeach()

if(SYSTEM STREQUAL "windows")
  string(REPLACE "0d 0a " "" bytes "${bytes}")
  if(bytes MATCHES "(^| )(0a|0d) ")
    fail("velmoria-setup.txt has a line that does not end in CR LF")
  endif()
elseif(bytes MATCHES "(^| )0d ")
  fail("velmoria-setup.txt has a CR")
endif()

if(SYSTEM STREQUAL "windows")
  # Version information is UTF-16 in the .exe, the manifest plain text.
  file(READ ${top}/velmoria-setup.exe exe HEX)
  foreach(text "ProductVersion" "${VERSION}" "FileDescription")
    string(HEX "${text}" hex)
    string(REGEX REPLACE "(..)" "\\100" utf16 "${hex}")
    string(FIND "${exe}" "${utf16}" at)
    if(at EQUAL -1)
      fail("velmoria-setup.exe has no '${text}' in its version information")
    endif()
  endforeach()
  foreach(entry "level=\"asInvoker\"" "<longPathAware"
      ">true</longPathAware>")
    string(HEX "${entry}" hex)
    string(FIND "${exe}" "${hex}" at)
    if(at EQUAL -1)
      fail("velmoria-setup.exe has no '${entry}' in its manifest")
    endif()
  endforeach()
  # Windows Vista, 6.0, in the PE header: the subsystem's major and minor
  # version, 0x48 past the header's start, which 0x3c gives.
  read_le32("${exe}" 60 pe_at)
  math(EXPR version_at "${pe_at} + 0x48")
  read_le32("${exe}" ${version_at} subsystem)
  if(NOT subsystem EQUAL 6)
    fail("velmoria-setup.exe declares subsystem version ${subsystem}, not 6.0")
  endif()
  # The icon's first image, as the .ico holds it, is among the resources.
  file(READ ${ICON} ico HEX)
  read_le32("${ico}" 14 size)
  read_le32("${ico}" 18 offset)
  math(EXPR size "${size} * 2")
  math(EXPR offset "${offset} * 2")
  string(SUBSTRING "${ico}" ${offset} ${size} image)
  string(FIND "${exe}" "${image}" at)
  if(at EQUAL -1)
    fail("velmoria-setup.exe does not carry the program's icon")
  endif()
else()
  # A static executable: no interpreter and no shared library needed, so it
  # runs on any x86-64 Linux.
  execute_process(COMMAND readelf --program-headers --dynamic
    ${top}/velmoria-setup OUTPUT_VARIABLE elf RESULT_VARIABLE result)
  if(result OR elf MATCHES "INTERP|\\(NEEDED\\)")
    fail("velmoria-setup needs a dynamic loader or shared libraries:\n${elf}")
  endif()
  find_program(MAN man)
  if(MAN)
    execute_process(COMMAND ${MAN} --warnings -E UTF-8 -l -Tutf8 -Z
      ${top}/velmoria-setup.1 OUTPUT_QUIET ERROR_VARIABLE warnings)
    if(warnings)
      fail("velmoria-setup.1 has mistakes:\n${warnings}")
    endif()
  endif()
endif()
