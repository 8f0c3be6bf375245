# Remakes the reference files in tests/data from the program itself: for each
# answer set the events file (events-<answers>.txt) and what --status says of
# it (status-<answers>.txt), the console of a whole dialogue (console.txt),
# what --help says (help.txt), and the version they were made for
# (version.txt). Run by the target reference-files with
# -DPROGRAM=<velmoria-setup> -DDATA=<tests/data> -DWORK=<a scratch folder>.
# Review what changed with git diff tests/data.
#
# Players of a version have its events files, and another version takes them
# for hand-edited ones. So the events files never change under the version
# they were made for: until it is raised, nothing is written.

function(run)
  execute_process(COMMAND ${PROGRAM} -C ${WORK} ${ARGN}
    RESULT_VARIABLE failed OUTPUT_VARIABLE output)
  if(failed)
    message(FATAL_ERROR "velmoria-setup ${ARGN} failed: ${failed}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

set(made ${WORK}/made)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${made})
run(--version)
string(REGEX REPLACE "^velmoria-setup ([^\n]*)\n$" "\\1" version "${output}")
file(WRITE ${made}/version.txt "${version}\n")
run(--help)
file(WRITE ${made}/help.txt "${output}")
foreach(answers nnn nny nyn nyy ynn yny yyn yyy)
  run(${answers})
  run(--status)
  file(WRITE ${made}/status-${answers}.txt "${output}")
  file(RENAME ${WORK}/events.txt ${made}/events-${answers}.txt)
endforeach()
file(WRITE ${WORK}/answers "n\nn\nn\n")
execute_process(COMMAND ${PROGRAM} -C ${WORK} INPUT_FILE ${WORK}/answers
  OUTPUT_FILE ${made}/console.txt RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "velmoria-setup failed: ${failed}")
endif()

set(recorded "")
if(EXISTS ${DATA}/version.txt)
  file(STRINGS ${DATA}/version.txt recorded LIMIT_COUNT 1)
endif()
file(GLOB files RELATIVE ${made} ${made}/*)
foreach(file IN LISTS files)
  file(SHA256 ${made}/${file} new)
  set(old "")
  if(EXISTS ${DATA}/${file})
    file(SHA256 ${DATA}/${file} old)
  endif()
  if(recorded STREQUAL version AND file MATCHES "^events-" AND
     NOT new STREQUAL old)
    file(REMOVE_RECURSE ${WORK})
    message(FATAL_ERROR "${file} changed under version ${version}, whose "
      "players have the old one: raise the version in CMakeLists.txt, then "
      "remake the reference files. Nothing was written.")
  endif()
endforeach()
foreach(file IN LISTS files)
  file(COPY_FILE ${made}/${file} ${DATA}/${file})
endforeach()
file(REMOVE_RECURSE ${WORK})
message(STATUS "Remade ${DATA}; review it with git diff tests/data")
