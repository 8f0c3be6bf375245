# Run by cpack once it has made the packages (CPACK_POST_BUILD_SCRIPTS), to
# make each the same, byte for byte, whoever builds it, in whatever folder
# and at whatever time: what cpack leaves differs in the dates of the files,
# their owner, the order of a zip's members and the date in a gzip header.
# Every date becomes the time of the commit built, so that anyone can
# rebuild a release from its commit and compare; cpack then writes the
# checksums of the packages as they are now.

execute_process(COMMAND git -C ${CPACK_VELMORIA_SOURCE_DIR} log -1 --format=%ct
  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT epoch MATCHES "^[0-9]+$")
  set(epoch 1767225600)  # 2026-01-01, for sources without their history
endif()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.tar\\.gz$")
    # Packed again with GNU tar: names sorted, every date the commit's, owned
    # by root, modes free of the builder's umask; gzip with no name or date.
    set(unpacked ${package}.unpacked)
    file(REMOVE_RECURSE ${unpacked})
    file(MAKE_DIRECTORY ${unpacked})
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${package}
      WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE failed)
    file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
    execute_process(
      COMMAND tar --create --format=gnu --sort=name --mtime=@${epoch}
        --owner=0 --group=0 --numeric-owner --mode=u=rwX,go=rX ${top}
      COMMAND gzip -9 --no-name
      WORKING_DIRECTORY ${unpacked} OUTPUT_FILE ${package}
      RESULTS_VARIABLE results)
    file(REMOVE_RECURSE ${unpacked})
    if(NOT results STREQUAL "0;0")
      set(failed "tar or gzip failed")
    endif()
  elseif(package MATCHES "\\.zip$")
    # Members sorted, dates the commit's, owner fields zeroed.
    execute_process(
      COMMAND strip-nondeterminism --type zip --timestamp ${epoch} ${package}
      RESULT_VARIABLE failed)
  endif()
  if(failed)
    message(FATAL_ERROR "cannot make ${package} reproducible (${failed}); "
      "it needs GNU tar and gzip, and for a zip strip-nondeterminism")
  endif()
endforeach()
