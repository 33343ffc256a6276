# Runs one script through sq and compares its output byte for byte.
#   cmake -DSQ=<sq binary> -DDIR=<folder> -DNAME=<script name without .nut> -P RunScript.cmake
# stdout must equal NAME.out; stderr must equal NAME.err when that file exists. Sanitizer
# reports on stderr fail the test in every case.
execute_process(
    COMMAND ${SQ} ${NAME}.nut
    WORKING_DIRECTORY ${DIR}
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err
    RESULT_VARIABLE status
    TIMEOUT 60)
file(READ ${DIR}/${NAME}.out expected)
set(failed FALSE)
if(NOT out STREQUAL expected)
    message("stdout differs from ${NAME}.out\n--- expected\n${expected}\n--- got\n${out}")
    set(failed TRUE)
endif()
if(EXISTS ${DIR}/${NAME}.err)
    file(READ ${DIR}/${NAME}.err expected_err)
    if(NOT err STREQUAL expected_err)
        message("stderr differs from ${NAME}.err\n--- expected\n${expected_err}\n--- got\n${err}")
        set(failed TRUE)
    endif()
endif()
if(err MATCHES "Sanitizer|runtime error:")
    message("sanitizer report:\n${err}")
    set(failed TRUE)
endif()
if(status MATCHES "timeout|Child aborted|Segmentation")
    message("sq did not finish normally: ${status}")
    set(failed TRUE)
endif()
if(failed)
    message(FATAL_ERROR "${NAME} failed")
endif()
