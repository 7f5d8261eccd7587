# cmake -DEXE=program -DARG=argument -DOUT=file -P run_to_file.cmake:
# writes what `program argument` prints to its standard output into file.
execute_process(COMMAND ${EXE} ${ARG} OUTPUT_FILE ${OUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${EXE} ${ARG} failed: ${result}")
endif()
