# Run by cpack once the files of each package are staged: removes the
# compiler's version notes (.comment, .note) from the programs, as Debian's
# own packages have them removed, so that each program holds only what runs.
find_program(OBJCOPY objcopy REQUIRED)
file(GLOB programs ${CPACK_TEMPORARY_DIRECTORY}/*/usr/bin/* ${CPACK_TEMPORARY_DIRECTORY}/usr/bin/*)
foreach(program ${programs})
  execute_process(COMMAND ${OBJCOPY} --remove-section=.comment --remove-section=.note ${program}
                  RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "objcopy ${program}: ${error}")
  endif()
endforeach()
