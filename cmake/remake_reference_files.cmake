# Remakes tests/data/events-<answers>.txt, the expected events file of each
# of the eight answer sets, from the program itself: run by the target
# reference-files with -DPROGRAM=<velmoria-setup> -DDATA=<tests/data>
# -DWORK=<a scratch folder>. Review what changed with git diff tests/data.

foreach(answers nnn nny nyn nyy ynn yny yyn yyy)
  file(REMOVE_RECURSE ${WORK})
  file(MAKE_DIRECTORY ${WORK})
  execute_process(COMMAND ${PROGRAM} -C ${WORK} ${answers}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "velmoria-setup ${answers} failed: ${failed}")
  endif()
  file(COPY_FILE ${WORK}/events.txt ${DATA}/events-${answers}.txt)
endforeach()
file(REMOVE_RECURSE ${WORK})
message(STATUS "Remade ${DATA}/events-*.txt; review them with git diff")
