# Remakes the reference files in tests/data from the program itself: for each
# of the eight answer sets the events file (events-<answers>.txt) and what
# --status says of it (status-<answers>.txt), the console of a whole dialogue
# (console.txt), and the version they were made for (version.txt). Run by the
# target reference-files with -DPROGRAM=<velmoria-setup> -DDATA=<tests/data>
# -DWORK=<a scratch folder>. Review what changed with git diff tests/data.
#
# A released version's files are what that version writes, so version.txt
# keeps the version and a hash of its files. Files that change under the same
# version are written all the same, and version.txt then says so, which fails
# the content test until the version is raised in CMakeLists.txt.

function(run)
  execute_process(COMMAND ${PROGRAM} -C ${WORK} ${ARGN}
    RESULT_VARIABLE failed OUTPUT_VARIABLE output)
  if(failed)
    message(FATAL_ERROR "velmoria-setup ${ARGN} failed: ${failed}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

set(made "")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(answers nnn nny nyn nyy ynn yny yyn yyy)
  run(${answers})
  file(COPY_FILE ${WORK}/events.txt ${DATA}/events-${answers}.txt)
  run(--status)
  file(WRITE ${DATA}/status-${answers}.txt "${output}")
endforeach()
file(WRITE ${WORK}/answers "n\nn\nn\n")
execute_process(COMMAND ${PROGRAM} -C ${WORK} INPUT_FILE ${WORK}/answers
  OUTPUT_FILE ${DATA}/console.txt RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "velmoria-setup failed: ${failed}")
endif()
file(REMOVE_RECURSE ${WORK})

run(--version)
string(REGEX REPLACE "^velmoria-setup ([^\n]*)\n$" "\\1" version "${output}")
file(GLOB files ${DATA}/console.txt ${DATA}/events-*.txt ${DATA}/status-*.txt)
foreach(file IN LISTS files)
  file(SHA256 ${file} hash)
  string(APPEND made "${hash}")
endforeach()
string(SHA256 made "${made}")
set(recorded "")
if(EXISTS ${DATA}/version.txt)
  file(STRINGS ${DATA}/version.txt recorded LIMIT_COUNT 1)
endif()
if(recorded MATCHES "^${version} " AND NOT recorded STREQUAL "${version} ${made}")
  file(WRITE ${DATA}/version.txt "${recorded}\nchanged since; raise the version\n")
  message(WARNING "The files changed under version ${version}: raise the "
    "version in CMakeLists.txt, as ${version}'s players have the old ones")
else()
  file(WRITE ${DATA}/version.txt "${version} ${made}\n")
endif()
message(STATUS "Remade ${DATA}; review it with git diff tests/data")
