# Runs PROGRAM --version: it must exit 0 and print exactly "<program name> <project version>".
execute_process(COMMAND ${PROGRAM} --version RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
get_filename_component(name ${PROGRAM} NAME)
if(NOT status EQUAL 0 OR NOT out STREQUAL "${name} ${VERSION}\n")
  message(FATAL_ERROR "${name} --version: exit ${status}, printed '${out}' '${err}', not '${name} ${VERSION}'")
endif()
