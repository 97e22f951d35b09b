# orvik_add_test(NAME name SOURCES ... LIBS ... [OWN_MAIN] [RUN_SERIAL] [TIMEOUT s] [LABELS ...])
# RUN_SERIAL: the test loads every core and runs alone.
# LABELS: "unit" (the default: no simulated sensor, no window), "sim" (talks
# to the simulated sensor) and/or "gui" (widgets, offscreen);
# `ctest -L unit` is the quick run.
# Builds one GoogleTest executable with the shared Qt-aware main (or the
# sources' own main with OWN_MAIN) and registers it with CTest, run from the
# directory that holds the run-time resources.
function(orvik_add_test)
    cmake_parse_arguments(ARG "OWN_MAIN;RUN_SERIAL" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT ARG_LABELS)
        set(ARG_LABELS unit)
    endif()
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    if(ARG_OWN_MAIN)
        target_link_libraries(${ARG_NAME} PRIVATE orvik_test_support ${ARG_LIBS})
    else()
        target_link_libraries(${ARG_NAME} PRIVATE orvik_test_main ${ARG_LIBS})
    endif()
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME} WORKING_DIRECTORY ${ORVIK_RUNTIME_DIR})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${ARG_NAME} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        LABELS "${ARG_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    if(ARG_RUN_SERIAL)
        set_tests_properties(${ARG_NAME} PROPERTIES RUN_SERIAL TRUE)
    endif()
endfunction()

# orvik_copy_runtime_file(TARGET t FILE src DEST relative/path)
# Copies a file the program reads at run time next to the executables.
function(orvik_copy_runtime_file target src dest)
    add_custom_command(
        OUTPUT ${ORVIK_RUNTIME_DIR}/${dest}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${src} ${ORVIK_RUNTIME_DIR}/${dest}
        DEPENDS ${src}
        COMMENT "Copying ${dest}")
    string(MAKE_C_IDENTIFIER "copy_${dest}" copy_target)
    add_custom_target(${copy_target} ALL DEPENDS ${ORVIK_RUNTIME_DIR}/${dest})
    add_dependencies(${target} ${copy_target})
endfunction()
